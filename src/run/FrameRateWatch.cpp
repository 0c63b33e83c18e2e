// The rolling frame-rate window and the software renderer's warning.
#include "src/run/FrameRateWatch.h"

#include <cmath>

namespace mirvo {

namespace {

constexpr double kHeldFraction = 0.9;
// Longer between two frames than any frame a person would sit through takes.
constexpr double kDrawingGapSeconds = 2.0;

} // namespace

FrameRateWatch::FrameRateWatch(double windowSeconds, double settleSeconds)
    : mWindowSeconds(windowSeconds), mSettleSeconds(settleSeconds)
{
}

std::optional<double> FrameRateWatch::frameAt(double seconds)
{
    // A long gap is a time nothing was drawn (the window was minimised), not a slow frame:
    // the watch starts over after it.
    if (!mFirst || (!mFrames.empty() && seconds - mFrames.back() > kDrawingGapSeconds)) {
        mFirst = seconds;
        mFrames.clear();
    }
    if (seconds - *mFirst < mSettleSeconds) {
        return std::nullopt;
    }
    mFrames.push_back(seconds);
    // Keep the newest frame that lies a whole window back, so the span covers the window.
    while (mFrames.size() > 2 && seconds - mFrames[1] >= mWindowSeconds) {
        mFrames.pop_front();
    }
    const double span = mFrames.back() - mFrames.front();
    if (span < mWindowSeconds) {
        return std::nullopt;
    }
    return static_cast<double>(mFrames.size() - 1) / span;
}

std::optional<std::string> slowFramesWarning(bool softwareRenderer, double heldFps, double targetFps,
                                             int samples)
{
    if (!softwareRenderer || heldFps >= kHeldFraction * targetFps) {
        return std::nullopt;
    }
    const std::string held = "mirvo: the software renderer holds " + std::to_string(std::lround(heldFps)) +
                             " fps of " + std::to_string(std::lround(targetFps));
    if (samples > 0) {
        return held + " at " + std::to_string(samples) + "x multisampling; try --msaa 0";
    }
    return held + " without multisampling; a smaller window (--windowed=960x540) may hold it";
}

} // namespace mirvo
