// Runs another encoder on a thread of its own, so that drawing the next frame and encoding the
// last overlap. A few frames wait between the two in slots made up front: the writing thread
// converts a frame into a free slot (waiting while none is free) and the encoder's thread hands
// the slots to the inner encoder in the order they were written, each with the audio written
// before it. Converting as it goes into the slot costs the writer less than copying the RGBA
// frame would, and a slot holds less than half the bytes. Every call but the constructor is for
// the one thread that writes.
#pragma once

#include "core/Vec.h"
#include "src/render/ColourConversion.h"
#include "src/render/VideoEncoder.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace mirvo::render {

class ThreadedVideoEncoder : public VideoEncoder {
  public:
    // `size`: the frames' size in pixels, both even. At least two slots.
    ThreadedVideoEncoder(std::unique_ptr<VideoEncoder> inner, Vec2i size, std::size_t numChannels,
                         std::size_t numSlots);
    ~ThreadedVideoEncoder() override;

    bool hasAudio() const override;
    // Throws the EncodeError that stopped the encoder's thread, if one did.
    void writeVideoFrame(const std::uint8_t* rgba) override;
    void writeYuvFrame(const YuvFrame& frame) override;
    void writeAudio(const float* const* channels, std::size_t numFrames) override;
    // Waits for the encoder's thread to encode what it was given, then finishes the inner
    // encoder even after a failure (so that the file plays), and throws that failure.
    void finish() override;
    // The frames the inner encoder has taken.
    std::uint64_t getNumVideoFrames() const override;
    // The writing thread's conversion, hand-off and waits, and after finish the inner encoder's
    // times.
    PhaseTimes getTimes() const override;
    // The encoder thread's CPU seconds, known once it has ended; zero before.
    double getThreadCpuSeconds() const;

  private:
    struct Slot {
        // The luma plane, then the two chroma planes, each row without padding.
        std::vector<std::uint8_t> pixels;
        bool hasPixels = false;
        // Planar audio written before the frame, numChannels of numAudioFrames.
        std::vector<std::vector<float>> audio;
        std::size_t numAudioFrames = 0;
    };

    void run();
    // The open slot, taken from the free ones first when there is none; waits for one.
    Slot& openSlot();
    // The slot's planes, to write into.
    YuvPlanes planesOf(Slot& slot) const;
    void submitOpenSlot();
    void throwIfFailed();

    std::unique_ptr<VideoEncoder> mInner;
    Vec2i mSize;
    std::size_t mNumChannels;
    std::vector<Slot> mSlots;
    Slot* mOpen = nullptr;
    PhaseTimes mCallerTimes;

    std::mutex mMutex;
    std::condition_variable mChanged;
    std::vector<Slot*> mFree;
    std::deque<Slot*> mReady;
    bool mStopping = false;
    std::exception_ptr mFailure;
    bool mFinished = false;

    std::atomic<std::uint64_t> mNumVideoFrames{0};
    double mThreadCpuSeconds = 0.0;
    std::thread mThread;
};

} // namespace mirvo::render
