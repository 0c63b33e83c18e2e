// The player's worker: walks folders and opens files away from the main thread, so that a
// folder of thousands of files or a slow mount costs the frames nothing. Jobs run one at a
// time in the order posted; each returns a result that runs on the main thread at the next
// poll. The loader owns its thread and joins it when it goes, after the job in hand.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace mirvo {

class TrackLoader {
  public:
    // Runs on the main thread.
    using Result = std::function<void()>;
    // Runs on the worker; touches nothing but what it captured.
    using Job = std::function<Result()>;

    TrackLoader();
    ~TrackLoader();
    TrackLoader(const TrackLoader&) = delete;
    TrackLoader& operator=(const TrackLoader&) = delete;

    // Main thread.
    void post(Job job);
    // Main thread: runs the results of the jobs done since the last poll, in order.
    void poll();
    // Main thread: waits for every job posted, those the results post included, and runs
    // their results. For start-up and tests; a frame never waits.
    void finish();
    // Main thread: jobs posted whose results have not run yet.
    std::size_t pending() const { return mPending; }

  private:
    void run();

    std::mutex mMutex;
    std::condition_variable mWake;
    std::condition_variable mDone;
    std::deque<Job> mJobs;
    std::vector<Result> mResults;
    bool mStopping = false;
    // Main thread only.
    std::size_t mPending = 0;
    std::thread mThread;
};

} // namespace mirvo
