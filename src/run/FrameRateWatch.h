// Whether the frames keep up: the frame rate held over a rolling window of the last few
// seconds, and the one warning a run gives when a GL that rasterises on the CPU cannot hold
// the rate, naming the option that makes the frames cheaper. Pure bookkeeping, fed the time
// of every frame. Main thread.
#pragma once

#include <deque>
#include <optional>
#include <string>

namespace mirvo {

class FrameRateWatch {
  public:
    // The rate is judged over the last `windowSeconds`, once `settleSeconds` have gone by since
    // the first frame (start-up work would count against it).
    explicit FrameRateWatch(double windowSeconds = 4.0, double settleSeconds = 3.0);

    // Records a frame drawn at `seconds`; the frames per second over the last window once a
    // whole window has been seen after settling, otherwise nothing.
    std::optional<double> frameAt(double seconds);

  private:
    double mWindowSeconds;
    double mSettleSeconds;
    std::optional<double> mFirst;
    std::deque<double> mFrames;
};

// The line to print, or nothing: a software renderer holding less than 90 % of `targetFps`
// is worth one line with what to try; a GPU's frame rate is its own business.
std::optional<std::string> slowFramesWarning(bool softwareRenderer, double heldFps, double targetFps,
                                             int samples);

} // namespace mirvo
