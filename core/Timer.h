// Stopwatch in seconds on a monotonic clock, so a wall-clock change never yields a
// negative or jumping elapsed time. Plain value; used on the main thread.
#pragma once

namespace mirvo {

class Timer {
  public:
    // A timer constructed with `startOnConstruction` runs from that moment.
    explicit Timer(bool startOnConstruction = false);

    void start();
    void stop();
    // End minus start while stopped (0 for a timer never started), else now minus start.
    double getSeconds() const;
    bool isStopped() const { return mIsStopped; }

    // Seconds on the monotonic clock from an arbitrary fixed origin.
    static double now();

  private:
    bool mIsStopped = true;
    double mStartTime = -1.0;
    double mEndTime = -1.0;
};

} // namespace mirvo
