#include "src/render/ThreadedVideoEncoder.h"

#include <pthread.h>

#include <algorithm>
#include <cassert>
#include <cstring>

namespace mirvo::render {

namespace {

// A frame's audio at the usual rates; a slot's buffers grow once where frames hold more.
constexpr std::size_t kReservedAudioFrames = 4096;

} // namespace

ThreadedVideoEncoder::ThreadedVideoEncoder(std::unique_ptr<VideoEncoder> inner, Vec2i size,
                                           std::size_t numChannels, std::size_t numSlots)
    : mInner(std::move(inner)), mSize(size), mNumChannels(numChannels),
      mSlots(std::max<std::size_t>(numSlots, 2))
{
    assert(size.x % 2 == 0 && size.y % 2 == 0 && "4:2:0 needs even sides");
    const auto lumaBytes = static_cast<std::size_t>(size.x) * static_cast<std::size_t>(size.y);
    for (Slot& slot : mSlots) {
        slot.pixels.resize(lumaBytes + lumaBytes / 2);
        slot.audio.resize(numChannels);
        for (std::vector<float>& channel : slot.audio) {
            channel.reserve(kReservedAudioFrames);
        }
        mFree.push_back(&slot);
    }
    mThread = std::thread([this] { run(); });
}

ThreadedVideoEncoder::~ThreadedVideoEncoder()
{
    if (!mFinished) {
        try {
            finish();
        } catch (const std::exception&) {
            // Whoever dropped the encoder unfinished has already met a failure of its own.
        }
    }
}

bool ThreadedVideoEncoder::hasAudio() const
{
    return mInner->hasAudio();
}

std::uint64_t ThreadedVideoEncoder::getNumVideoFrames() const
{
    return mNumVideoFrames.load(std::memory_order_acquire);
}

PhaseTimes ThreadedVideoEncoder::getTimes() const
{
    PhaseTimes times = mCallerTimes;
    if (mFinished) {
        times.addAll(mInner->getTimes());
    }
    return times;
}

double ThreadedVideoEncoder::getThreadCpuSeconds() const
{
    return mFinished ? mThreadCpuSeconds : 0.0;
}

ThreadedVideoEncoder::Slot& ThreadedVideoEncoder::openSlot()
{
    if (mOpen == nullptr) {
        PhaseTimes::Scope timing(mCallerTimes, Phase::WaitEncoder);
        std::unique_lock lock(mMutex);
        mChanged.wait(lock, [this] { return !mFree.empty() || mFailure; });
        if (mFailure) {
            std::rethrow_exception(mFailure);
        }
        mOpen = mFree.back();
        mFree.pop_back();
        mOpen->hasPixels = false;
        mOpen->numAudioFrames = 0;
    }
    return *mOpen;
}

YuvPlanes ThreadedVideoEncoder::planesOf(Slot& slot) const
{
    std::uint8_t* y = slot.pixels.data();
    std::uint8_t* u = y + static_cast<std::ptrdiff_t>(mSize.x) * mSize.y;
    std::uint8_t* v = u + static_cast<std::ptrdiff_t>(mSize.x / 2) * (mSize.y / 2);
    return {y, mSize.x, u, mSize.x / 2, v, mSize.x / 2};
}

void ThreadedVideoEncoder::submitOpenSlot()
{
    {
        std::lock_guard lock(mMutex);
        mReady.push_back(mOpen);
    }
    mOpen = nullptr;
    mChanged.notify_all();
}

void ThreadedVideoEncoder::throwIfFailed()
{
    std::lock_guard lock(mMutex);
    if (mFailure) {
        std::rethrow_exception(mFailure);
    }
}

void ThreadedVideoEncoder::writeVideoFrame(const std::uint8_t* rgba)
{
    throwIfFailed();
    Slot& slot = openSlot();
    {
        PhaseTimes::Scope timing(mCallerTimes, Phase::Convert);
        rgbaToYuv420(rgba, mSize.x, mSize.y, planesOf(slot));
    }
    slot.hasPixels = true;
    submitOpenSlot();
}

void ThreadedVideoEncoder::writeYuvFrame(const YuvFrame& frame)
{
    throwIfFailed();
    Slot& slot = openSlot();
    {
        PhaseTimes::Scope timing(mCallerTimes, Phase::HandOff);
        const YuvPlanes planes = planesOf(slot);
        const auto copy = [](const std::uint8_t* from, int fromStride, std::uint8_t* to, int toStride,
                             int width, int height) {
            for (int row = 0; row < height; ++row) {
                std::memcpy(to + static_cast<std::ptrdiff_t>(row) * toStride,
                            from + static_cast<std::ptrdiff_t>(row) * fromStride,
                            static_cast<std::size_t>(width));
            }
        };
        copy(frame.y, frame.yStride, planes.y, planes.yStride, mSize.x, mSize.y);
        copy(frame.u, frame.uStride, planes.u, planes.uStride, mSize.x / 2, mSize.y / 2);
        copy(frame.v, frame.vStride, planes.v, planes.vStride, mSize.x / 2, mSize.y / 2);
    }
    slot.hasPixels = true;
    submitOpenSlot();
}

void ThreadedVideoEncoder::writeAudio(const float* const* channels, std::size_t numFrames)
{
    if (!mInner->hasAudio() || numFrames == 0) {
        return;
    }
    throwIfFailed();
    Slot& slot = openSlot();
    PhaseTimes::Scope timing(mCallerTimes, Phase::HandOff);
    for (std::size_t channel = 0; channel < mNumChannels; ++channel) {
        std::vector<float>& samples = slot.audio[channel];
        samples.resize(slot.numAudioFrames + numFrames);
        std::copy(channels[channel], channels[channel] + numFrames,
                  samples.begin() + static_cast<std::ptrdiff_t>(slot.numAudioFrames));
    }
    slot.numAudioFrames += numFrames;
}

void ThreadedVideoEncoder::finish()
{
    if (mFinished) {
        return;
    }
    if (mOpen != nullptr) {
        submitOpenSlot();
    }
    {
        std::lock_guard lock(mMutex);
        mStopping = true;
    }
    mChanged.notify_all();
    mThread.join();
    mFinished = true;
    // The inner encoder closes the file whatever stopped the thread, so that what reached it plays.
    try {
        mInner->finish();
    } catch (const EncodeError&) {
        if (!mFailure) {
            throw;
        }
    }
    mNumVideoFrames.store(mInner->getNumVideoFrames(), std::memory_order_release);
    if (mFailure) {
        std::rethrow_exception(mFailure);
    }
}

void ThreadedVideoEncoder::run()
{
    pthread_setname_np(pthread_self(), "mirvo-encode");
    std::vector<const float*> channels(mNumChannels);
    while (true) {
        Slot* slot = nullptr;
        {
            std::unique_lock lock(mMutex);
            mChanged.wait(lock, [this] { return !mReady.empty() || mStopping; });
            if (mReady.empty()) {
                break;
            }
            slot = mReady.front();
            mReady.pop_front();
        }
        try {
            if (slot->numAudioFrames > 0) {
                for (std::size_t channel = 0; channel < mNumChannels; ++channel) {
                    channels[channel] = slot->audio[channel].data();
                }
                mInner->writeAudio(channels.data(), slot->numAudioFrames);
            }
            if (slot->hasPixels) {
                const YuvPlanes planes = planesOf(*slot);
                mInner->writeYuvFrame(
                    {planes.y, planes.yStride, planes.u, planes.uStride, planes.v, planes.vStride});
                mNumVideoFrames.store(mInner->getNumVideoFrames(), std::memory_order_release);
            }
        } catch (...) {
            {
                std::lock_guard lock(mMutex);
                mFailure = std::current_exception();
            }
            mChanged.notify_all();
            break;
        }
        {
            std::lock_guard lock(mMutex);
            mFree.push_back(slot);
        }
        mChanged.notify_all();
    }
    mThreadCpuSeconds = threadCpuSeconds();
}

} // namespace mirvo::render
