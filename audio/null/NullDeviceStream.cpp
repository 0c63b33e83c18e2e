#include "audio/null/NullDeviceStream.h"

#include <cassert>
#include <cerrno>
#include <pthread.h>
#include <sched.h>
#include <time.h>

namespace mirvo::audio {
namespace {

constexpr int64_t kNanosPerSecond = 1'000'000'000;
// Beyond this many blocks behind (a stopped debugger, a suspended machine) the stream starts a
// new timeline rather than rendering a burst of blocks to catch up.
constexpr uint64_t kMaxBlocksBehind = 8;

int64_t nowNanos()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

void sleepUntil(int64_t deadline)
{
    timespec ts{};
    ts.tv_sec = time_t(deadline / kNanosPerSecond);
    ts.tv_nsec = long(deadline % kNanosPerSecond);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// The time at which `frames` frames have played, exactly, from integer arithmetic: no rounding
// error accumulates however long the stream runs.
int64_t framesToNanos(uint64_t frames, size_t sampleRate)
{
    const uint64_t seconds = frames / sampleRate;
    const uint64_t remainder = frames % sampleRate;
    return int64_t(seconds) * kNanosPerSecond + int64_t(remainder * kNanosPerSecond / sampleRate);
}

void tryRealtimePriority()
{
    // Best effort: most desktop sessions refuse it, and the pace holds without it.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

} // namespace

NullDeviceStream::~NullDeviceStream()
{
    stop();
}

void NullDeviceStream::open(size_t numChannels, size_t sampleRate, size_t framesPerBlock)
{
    assert(!isStarted() && "open a stopped stream only");
    assert(sampleRate > 0 && framesPerBlock > 0 && "a stream needs a rate and a block size");
    mSampleRate = sampleRate;
    mFramesPerBlock = framesPerBlock;
    mStorage.assign(numChannels * framesPerBlock, 0.0f);
    mChannels.resize(numChannels);
    for (size_t ch = 0; ch < numChannels; ++ch) {
        mChannels[ch] = mStorage.data() + ch * framesPerBlock;
    }
}

void NullDeviceStream::start(Client* client)
{
    launch(client, State::Rendering);
}

void NullDeviceStream::startStandby(Client* client)
{
    launch(client, State::Standby);
}

void NullDeviceStream::launch(Client* client, State initial)
{
    assert(client && "a stream needs a client");
    assert(mSampleRate > 0 && "open the stream before starting it");
    stop();
    mClient = client;
    mNumBlocksRendered = 0;
    mState = initial;
    mThread = std::thread([this] { run(); });
}

void NullDeviceStream::takeOver()
{
    State expected = State::Standby;
    // Without the mutex a wakeup can be missed; the standby wait then ends at its next poll.
    if (mState.compare_exchange_strong(expected, State::Rendering)) {
        mStandbyCondition.notify_all();
    }
}

void NullDeviceStream::stop()
{
    if (!mThread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mStandbyMutex);
        mState = State::Stopping;
    }
    mStandbyCondition.notify_all();
    mThread.join();
    mState = State::Idle;
}

void NullDeviceStream::run()
{
    tryRealtimePriority();

    while (mState.load() == State::Standby) {
        {
            std::unique_lock<std::mutex> lock(mStandbyMutex);
            mStandbyCondition.wait_for(lock, kStandbyPoll,
                                       [this] { return mState.load() != State::Standby; });
        }
        if (mState.load() == State::Standby && mClient->isStalled()) {
            takeOver();
        }
    }

    int64_t timelineStart = nowNanos();
    uint64_t framesOnTimeline = 0;
    while (mState.load() == State::Rendering) {
        mClient->renderNullBlock(mChannels.data(), mChannels.size(), mFramesPerBlock);
        mNumBlocksRendered.fetch_add(1, std::memory_order_relaxed);
        framesOnTimeline += mFramesPerBlock;

        const int64_t deadline = timelineStart + framesToNanos(framesOnTimeline, mSampleRate);
        const int64_t now = nowNanos();
        if (now - deadline > framesToNanos(kMaxBlocksBehind * mFramesPerBlock, mSampleRate)) {
            timelineStart = now;
            framesOnTimeline = 0;
            mNumResyncs.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        sleepUntil(deadline);
    }
}

} // namespace mirvo::audio
