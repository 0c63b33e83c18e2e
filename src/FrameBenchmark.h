// The `--benchmark` schedule: a list of cases (scene, star or tree count, panels shown or
// not), each run for some warm-up frames and then measured, and the report of median and
// 95th percentile frame costs. Pure bookkeeping; the controller applies each case and times
// the frames. Main thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mirvo {

class FrameBenchmark {
  public:
    enum class Scene { GALAXY, TREE, TRIANGLES, BARE_STARS };

    struct Case {
        std::string name;
        Scene scene = Scene::GALAXY;
        int starCount = 10000;
        int treeCount = 3;
        bool panels = false;
    };

    // Galaxy at 10 000 and 50 000 stars, the bare point sprites at the same counts, Tree
    // with 3 and 10 trees and Triangles, each with the panels hidden and shown.
    static std::vector<Case> standardCases();

    FrameBenchmark(std::vector<Case> cases, int warmupFrames, int measuredFrames);

    bool isDone() const { return mCaseIndex >= mCases.size(); }
    const Case& currentCase() const { return mCases.at(mCaseIndex); }
    // True on the first frame of a case, when the controller applies it.
    bool isCaseStarting() const { return mFrameInCase == 0; }
    // Records the cost of the frame just drawn (ignored while warming up) and moves on.
    void recordFrame(double milliseconds);

    std::string report() const;

    // The p-th percentile (0..100) by linear interpolation between the closest ranks.
    static double percentile(std::vector<double> samples, double p);

  private:
    std::vector<Case> mCases;
    std::vector<std::vector<double>> mSamples;
    int mWarmupFrames;
    int mMeasuredFrames;
    std::size_t mCaseIndex = 0;
    int mFrameInCase = 0;
};

} // namespace mirvo
