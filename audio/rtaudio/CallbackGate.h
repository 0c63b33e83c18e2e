// Lets the main thread stop an RtAudio stream and then know that none of its callbacks is still
// running: RtAudio's stop and abort can return while a callback that began just before is still
// inside our code. One device thread enters; the main thread opens and closes.
#pragma once

#include <atomic>
#include <thread>

namespace mirvo::audio {

class CallbackGate {
  public:
    // Main thread, before the stream starts.
    void open() { mClosed = false; }
    // Main thread: turns later callbacks away and waits for one that is inside to leave.
    void close()
    {
        mClosed = true;
        while (mInside.load()) {
            std::this_thread::yield();
        }
    }

    // Device thread: false when the callback must not touch the node; leave() follows a true.
    bool enter()
    {
        mInside = true;
        if (mClosed.load()) {
            mInside = false;
            return false;
        }
        return true;
    }
    void leave() { mInside = false; }

  private:
    // Sequentially consistent on both sides: either the callback sees the gate closed, or
    // close() sees the callback inside.
    std::atomic<bool> mClosed{true};
    std::atomic<bool> mInside{false};
};

} // namespace mirvo::audio
