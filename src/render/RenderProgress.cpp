#include "src/render/RenderProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mirvo::render {

namespace {

// A terminal's line is redrawn at most this often; more would only cost time.
constexpr double kTerminalInterval = 0.25;

} // namespace

std::string formatDuration(double seconds)
{
    const auto whole = static_cast<long long>(std::floor(std::max(0.0, seconds)));
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

std::string formatSize(std::uint64_t bytes)
{
    if (bytes < 1000) {
        return std::to_string(bytes) + " B";
    }
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1000.0;
    int unit = 0;
    while (value >= 1000.0 && unit < 3) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text,
                  value < 10.0    ? "%.2f %s"
                  : value < 100.0 ? "%.1f %s"
                                  : "%.0f %s",
                  value, units[unit]);
    return text;
}

RenderProgress::RenderProgress(std::uint64_t totalFrames, int fps, Display display)
    : mTotalFrames(totalFrames), mFps(fps), mDisplay(display)
{
}

std::string RenderProgress::update(std::uint64_t doneFrames, double wallSeconds)
{
    if (mTotalFrames == 0) {
        return {};
    }
    if (mDisplay != Display::LOG) {
        const bool last = doneFrames >= mTotalFrames;
        if (!last && mLastWallSeconds >= 0.0 && wallSeconds - mLastWallSeconds < kTerminalInterval) {
            return {};
        }
        mLastWallSeconds = wallSeconds;
        if (mDisplay == Display::JOB) {
            return "mirvo-job: progress " + std::to_string(doneFrames) + " " + std::to_string(mTotalFrames) +
                   "\n";
        }
        mPrinted = true;
        return "\r" + describe(doneFrames, wallSeconds) + "   ";
    }
    const auto tenths = static_cast<int>(doneFrames * 10 / mTotalFrames);
    if (tenths <= mTenthsReported) {
        return {};
    }
    mTenthsReported = tenths;
    return "mirvo: " + describe(doneFrames, wallSeconds) + "\n";
}

std::string RenderProgress::end() const
{
    return mPrinted ? "\n" : "";
}

std::string RenderProgress::describe(std::uint64_t doneFrames, double wallSeconds) const
{
    const double videoSeconds = static_cast<double>(doneFrames) / mFps;
    const double speed = wallSeconds > 0.0 ? videoSeconds / wallSeconds : 0.0;
    const double left = speed > 0.0 ? static_cast<double>(mTotalFrames - doneFrames) / mFps / speed : 0.0;
    char text[160];
    std::snprintf(text, sizeof text, "%3d%% %llu/%llu frames, %.1fx real time, %s left",
                  static_cast<int>(doneFrames * 100 / mTotalFrames),
                  static_cast<unsigned long long>(doneFrames), static_cast<unsigned long long>(mTotalFrames),
                  speed, formatDuration(left).c_str());
    return text;
}

} // namespace mirvo::render
