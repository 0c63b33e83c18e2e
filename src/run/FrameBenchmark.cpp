// Case schedule and statistics of the frame benchmark.
#include "src/run/FrameBenchmark.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>

namespace mirvo {

namespace {

constexpr std::size_t kSettleWindow = 5;
constexpr double kSettleTolerance = 0.1;
constexpr int kNameWidth = 42;
// An adaptive scale moves a step at most every few frames and rises after a second of room: the
// case is measured once it has held for longer than that, however long it takes to get there.
constexpr int kScaleSettleFrames = 150;
constexpr int kAdaptiveWarmupFactor = 20;

std::size_t index(FrameBenchmark::Phase phase)
{
    return static_cast<std::size_t>(phase);
}

// "-" where nothing was measured, so that an absent figure does not read as a free phase.
std::string column(double value, bool measured)
{
    char text[32];
    if (measured) {
        std::snprintf(text, sizeof(text), " %7.2f", value);
    } else {
        std::snprintf(text, sizeof(text), " %7s", "-");
    }
    return text;
}

} // namespace

const char* FrameBenchmark::phaseName(Phase phase)
{
    static constexpr std::array<const char*, kPhaseCount> kNames = {"update",  "draw",    "panels",
                                                                    "overlay", "resolve", "swap"};
    return kNames.at(index(phase));
}

std::vector<FrameBenchmark::Case> FrameBenchmark::standardCases(const std::vector<std::string>& shaders)
{
    std::vector<Case> cases;
    for (bool panels : {false, true}) {
        const std::string suffix = panels ? ", panels shown" : ", panels hidden";
        cases.push_back({"Galaxy 10000 stars" + suffix, Scene::GALAXY, 10000, 3, panels, Spectrum::HELD});
        cases.push_back({"Galaxy 50000 stars" + suffix, Scene::GALAXY, 50000, 3, panels, Spectrum::HELD});
        cases.push_back({"Tree 3 trees" + suffix, Scene::TREE, 10000, 3, panels});
        cases.push_back({"Tree 10 trees" + suffix, Scene::TREE, 10000, 10, panels});
        cases.push_back({"Triangles" + suffix, Scene::TRIANGLES, 10000, 3, panels});
    }
    cases.push_back({"Bare GL point sprites 10000", Scene::BARE_STARS, 10000, 3, false});
    cases.push_back({"Bare GL point sprites 50000", Scene::BARE_STARS, 50000, 3, false});
    cases.push_back({"Galaxy 10000 stars, loud music", Scene::GALAXY, 10000, 3, false, Spectrum::LOUD});
    cases.push_back({"Galaxy 10000 stars, loud music, adaptive scale",
                     Scene::GALAXY,
                     10000,
                     3,
                     false,
                     Spectrum::LOUD,
                     {},
                     true});
    cases.push_back(
        {"Bare GL point sprites 10000, loud music", Scene::BARE_STARS, 10000, 3, false, Spectrum::LOUD});
    for (const std::string& shader : shaders) {
        for (const bool adaptive : {true, false}) {
            cases.push_back({shader + (adaptive ? ", adaptive scale" : ", full size"), Scene::SHADER, 10000,
                             3, false, Spectrum::HELD, shader, adaptive});
        }
    }
    return cases;
}

FrameBenchmark::FrameBenchmark(std::vector<Case> cases, Schedule schedule)
    : mCases(std::move(cases)), mMeasured(mCases.size()), mSchedule(schedule)
{
    assert(mSchedule.measuredFrames > 0 && "a case measures at least one frame");
    assert(mSchedule.minWarmup <= mSchedule.maxWarmup && "the warm-up bounds are in order");
}

bool FrameBenchmark::hasSettled(const std::vector<double>& intervals, std::size_t window, double tolerance)
{
    if (window == 0 || intervals.size() < 2 * window) {
        return false;
    }
    const auto last = intervals.end();
    const double recent = percentile({last - static_cast<std::ptrdiff_t>(window), last}, 50.0);
    const double before = percentile(
        {last - static_cast<std::ptrdiff_t>(2 * window), last - static_cast<std::ptrdiff_t>(window)}, 50.0);
    return std::abs(recent - before) <= tolerance * std::max(recent, before);
}

void FrameBenchmark::recordFrame(const FrameTimes& times)
{
    if (isDone()) {
        return;
    }
    Measured& measured = mMeasured[mCaseIndex];
    ++mFrameInCase;
    ++mFrameInStage;
    switch (mStage) {
    case Stage::WARMING: {
        mWarmupIntervals.push_back(times.intervalMs);
        const bool adaptive = mCases[mCaseIndex].adaptiveScale;
        mFramesAtScale = times.drawnScale == mWarmupScale ? mFramesAtScale + 1 : 0;
        mWarmupScale = times.drawnScale;
        const int maxWarmup = mSchedule.maxWarmup * (adaptive ? kAdaptiveWarmupFactor : 1);
        const bool scaleHeld = !adaptive || mFramesAtScale >= kScaleSettleFrames;
        if (mFrameInStage >= maxWarmup || (mFrameInStage >= mSchedule.minWarmup && scaleHeld &&
                                           hasSettled(mWarmupIntervals, kSettleWindow, kSettleTolerance))) {
            measured.warmupFrames = mFrameInStage;
            mStage = mSchedule.probeFrames > 0 ? Stage::PROBING : Stage::MEASURING;
            mFrameInStage = 0;
        }
        break;
    }
    case Stage::PROBING:
        measured.probes.push_back(times);
        if (mFrameInStage >= mSchedule.probeFrames) {
            mStage = Stage::MEASURING;
            mFrameInStage = 0;
        }
        break;
    case Stage::MEASURING:
        measured.frames.push_back(times);
        if (mFrameInStage >= mSchedule.measuredFrames) {
            nextCase();
        }
        break;
    }
}

void FrameBenchmark::nextCase()
{
    ++mCaseIndex;
    mFrameInCase = 0;
    mFrameInStage = 0;
    mStage = Stage::WARMING;
    mWarmupIntervals.clear();
    mWarmupScale = -1.0;
    mFramesAtScale = 0;
}

double FrameBenchmark::percentile(std::vector<double> samples, double p)
{
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const double rank = std::clamp(p, 0.0, 100.0) / 100.0 * static_cast<double>(samples.size() - 1);
    const std::size_t below = static_cast<std::size_t>(std::floor(rank));
    const std::size_t above = std::min(below + 1, samples.size() - 1);
    const double fraction = rank - static_cast<double>(below);
    return samples[below] + (samples[above] - samples[below]) * fraction;
}

std::string FrameBenchmark::reportLine(const Case& benchmarkCase, const Measured& measured) const
{
    std::vector<double> intervals;
    double wallMs = 0.0;
    double processMs = 0.0;
    for (const FrameTimes& frame : measured.frames) {
        intervals.push_back(frame.intervalMs);
        wallMs += frame.intervalMs;
        processMs += frame.processCpuMs;
    }
    const double median = percentile(intervals, 50.0);
    char head[160];
    std::snprintf(head, sizeof(head), "%-*s %6.1f %9.2f %8.2f %6.2f", kNameWidth, benchmarkCase.name.c_str(),
                  median > 0.0 ? 1000.0 / median : 0.0, median, percentile(intervals, 95.0),
                  wallMs > 0.0 ? processMs / wallMs : 0.0);
    std::string cpuLine = head;
    std::string glLine = std::string(kNameWidth - 8, ' ') + "GL timer" + std::string(33, ' ');
    bool anyGl = false;
    for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
        std::vector<double> cpu;
        for (const FrameTimes& probe : measured.probes) {
            cpu.push_back(probe.cpuMs[phase]);
        }
        // Only the probe frames resolve on their own.
        const std::vector<FrameTimes>& glSource =
            phase == index(Phase::RESOLVE) ? measured.probes : measured.frames;
        std::vector<double> gl;
        for (const FrameTimes& frame : glSource) {
            if (frame.glMs[phase] >= 0.0) {
                gl.push_back(frame.glMs[phase]);
            }
        }
        cpuLine += column(percentile(cpu, 50.0), !cpu.empty());
        glLine += column(percentile(gl, 50.0), !gl.empty());
        anyGl = anyGl || !gl.empty();
    }
    std::vector<double> scales;
    for (const FrameTimes& frame : measured.frames) {
        if (frame.drawnScale >= 0.0) {
            scales.push_back(frame.drawnScale);
        }
    }
    char tail[64];
    std::snprintf(tail, sizeof(tail), " %7zu %7d", measured.frames.size(), measured.warmupFrames);
    cpuLine += tail;
    if (!scales.empty()) {
        std::snprintf(tail, sizeof(tail), "   %.2f", percentile(scales, 50.0));
        cpuLine += tail;
    }
    cpuLine += "\n";
    return anyGl ? cpuLine + glLine + "\n" : cpuLine;
}

std::string FrameBenchmark::report() const
{
    char head[200];
    std::snprintf(head, sizeof(head), "%-*s %6s %9s %8s %6s", kNameWidth, "case", "fps", "frame ms", "p95 ms",
                  "cores");
    std::string text = head;
    for (std::size_t phase = 0; phase < kPhaseCount; ++phase) {
        char name[16];
        std::snprintf(name, sizeof(name), " %7s", phaseName(static_cast<Phase>(phase)));
        text += name;
    }
    text += "  frames warm-up   scale\n";
    for (std::size_t i = 0; i < mCases.size(); ++i) {
        text += reportLine(mCases[i], mMeasured[i]);
    }
    return text;
}

} // namespace mirvo
