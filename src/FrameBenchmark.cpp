// Case schedule and statistics of the frame-cost benchmark.
#include "src/FrameBenchmark.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>

namespace mirvo {

std::vector<FrameBenchmark::Case> FrameBenchmark::standardCases()
{
    std::vector<Case> cases;
    for (bool panels : {false, true}) {
        const std::string suffix = panels ? ", panels shown" : ", panels hidden";
        cases.push_back({"Galaxy 10000 stars" + suffix, Scene::GALAXY, 10000, 3, panels});
        cases.push_back({"Galaxy 50000 stars" + suffix, Scene::GALAXY, 50000, 3, panels});
        cases.push_back({"Tree 3 trees" + suffix, Scene::TREE, 10000, 3, panels});
        cases.push_back({"Tree 10 trees" + suffix, Scene::TREE, 10000, 10, panels});
        cases.push_back({"Triangles" + suffix, Scene::TRIANGLES, 10000, 3, panels});
    }
    cases.push_back({"Bare GL point sprites 10000", Scene::BARE_STARS, 10000, 3, false});
    cases.push_back({"Bare GL point sprites 50000", Scene::BARE_STARS, 50000, 3, false});
    return cases;
}

FrameBenchmark::FrameBenchmark(std::vector<Case> cases, int warmupFrames, int measuredFrames)
    : mCases(std::move(cases)), mSamples(mCases.size()), mWarmupFrames(warmupFrames),
      mMeasuredFrames(measuredFrames)
{
    assert(measuredFrames > 0 && "a case measures at least one frame");
}

void FrameBenchmark::recordFrame(double milliseconds)
{
    if (isDone()) {
        return;
    }
    if (mFrameInCase >= mWarmupFrames) {
        mSamples[mCaseIndex].push_back(milliseconds);
    }
    ++mFrameInCase;
    if (mFrameInCase >= mWarmupFrames + mMeasuredFrames) {
        ++mCaseIndex;
        mFrameInCase = 0;
    }
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

std::string FrameBenchmark::report() const
{
    std::string text = "case                                        median ms    p95 ms  frames\n";
    for (std::size_t i = 0; i < mCases.size(); ++i) {
        char line[160];
        std::snprintf(line, sizeof(line), "%-42s %10.2f %9.2f %7zu\n", mCases[i].name.c_str(),
                      percentile(mSamples[i], 50.0), percentile(mSamples[i], 95.0), mSamples[i].size());
        text += line;
    }
    return text;
}

} // namespace mirvo
