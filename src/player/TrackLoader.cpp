#include "src/player/TrackLoader.h"

#include "core/BackgroundThread.h"

#include <utility>

namespace mirvo {

TrackLoader::TrackLoader() : mThread([this] { run(); })
{
}

TrackLoader::~TrackLoader()
{
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        mStopping = true;
        mJobs.clear();
    }
    mWake.notify_one();
    mThread.join();
}

void TrackLoader::post(Job job)
{
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        mJobs.push_back(std::move(job));
    }
    ++mPending;
    mWake.notify_one();
}

void TrackLoader::poll()
{
    std::vector<Result> results;
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        results.swap(mResults);
    }
    for (Result& result : results) {
        --mPending;
        if (result) {
            result();
        }
    }
}

void TrackLoader::finish()
{
    while (mPending > 0) {
        {
            std::unique_lock<std::mutex> lock(mMutex);
            mDone.wait(lock, [this] { return !mResults.empty(); });
        }
        poll();
    }
}

void TrackLoader::run()
{
    becomeBackgroundThread("mirvo-loader");
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mMutex);
            mWake.wait(lock, [this] { return mStopping || !mJobs.empty(); });
            if (mStopping) {
                return;
            }
            job = std::move(mJobs.front());
            mJobs.pop_front();
        }
        Result result = job();
        {
            const std::lock_guard<std::mutex> lock(mMutex);
            mResults.push_back(std::move(result));
        }
        mDone.notify_all();
    }
}

} // namespace mirvo
