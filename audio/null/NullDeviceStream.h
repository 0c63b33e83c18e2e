// A stand-in for a device's callback thread: once opened and started it calls its client with
// one non-interleaved float block per period of framesPerBlock / sampleRate, on absolute
// deadlines so the pace does not drift. Owned by an output node; the main thread opens, starts
// and stops it, the stream's own thread renders.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace mirvo::audio {

class NullDeviceStream {
  public:
    class Client {
      public:
        virtual ~Client() = default;
        // Stream thread. Fill channels[0 .. numChannels) with numFrames samples each.
        virtual void renderNullBlock(float* const* channels, size_t numChannels, size_t numFrames) = 0;
        // Stream thread, while in standby, every kStandbyPoll: true hands the stream over, as if
        // takeOver had been called (a device that stopped calling back).
        virtual bool isStalled() { return false; }
    };

    NullDeviceStream() = default;
    NullDeviceStream(const NullDeviceStream&) = delete;
    NullDeviceStream& operator=(const NullDeviceStream&) = delete;
    ~NullDeviceStream();

    // Main thread. Allocates the block buffers; the stream must be stopped.
    void open(size_t numChannels, size_t sampleRate, size_t framesPerBlock);
    // Main thread. Starts the thread rendering at once.
    void start(Client* client);
    // Main thread. Starts the thread waiting, so that takeOver (or the client's isStalled) can
    // start rendering later without creating a thread then (a failing device callback must not).
    void startStandby(Client* client);
    // Any thread; allocates nothing and takes no lock. No effect unless in standby.
    void takeOver();

    static constexpr std::chrono::milliseconds kStandbyPoll{100};
    // Main thread. Returns within about one block period.
    void stop();

    bool isStarted() const { return mThread.joinable(); }
    bool isRendering() const { return mState.load() == State::Rendering; }
    size_t getSampleRate() const { return mSampleRate; }
    size_t getFramesPerBlock() const { return mFramesPerBlock; }
    size_t getNumChannels() const { return mChannels.size(); }
    // Blocks rendered since the last start.
    uint64_t getNumBlocksRendered() const { return mNumBlocksRendered.load(); }
    // Times the thread fell so far behind that it restarted its timeline instead of catching up.
    uint64_t getNumResyncs() const { return mNumResyncs.load(); }

  private:
    enum class State { Idle, Standby, Rendering, Stopping };

    void launch(Client* client, State initial);
    // Stream thread.
    void run();

    std::vector<float> mStorage;
    std::vector<float*> mChannels;
    size_t mSampleRate = 0;
    size_t mFramesPerBlock = 0;
    Client* mClient = nullptr;
    std::atomic<State> mState{State::Idle};
    // Only the standby wait uses these; rendering never touches them.
    std::mutex mStandbyMutex;
    std::condition_variable mStandbyCondition;
    std::atomic<uint64_t> mNumBlocksRendered{0};
    std::atomic<uint64_t> mNumResyncs{0};
    std::thread mThread;
};

} // namespace mirvo::audio
