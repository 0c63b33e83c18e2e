// The `--benchmark` schedule: a list of cases (scene, star or tree count, spectrum, panels
// shown or not), each warmed up until its frames settle, then probed for the multisample
// resolve, then measured; and the report of the whole frame (swap included), the CPU cores it
// took and where its time went, phase by phase. Pure bookkeeping; the controller applies each
// case and times the frames. Main thread.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace mirvo {

class FrameBenchmark {
  public:
    enum class Scene { GALAXY, TREE, TRIANGLES, BARE_STARS, SHADER };
    // The spectrum every frame of a case sees: a steady mid level, or the sizes that loud
    // broadband music gives the stars.
    enum class Spectrum { HELD, LOUD };

    struct Case {
        std::string name;
        Scene scene = Scene::GALAXY;
        int starCount = 10000;
        int treeCount = 3;
        bool panels = false;
        Spectrum spectrum = Spectrum::HELD;
        // A shader scene's name, and whether the scene's resolution (a shader's, Galaxy's) follows
        // the frame rate or stays whole.
        std::string shader = {};
        bool adaptiveScale = false;
    };

    // The parts of a frame, in the order they run. A software GL rasterises when it is made to
    // finish, so the CPU figure of each phase comes from probe frames that finish the GL at
    // every phase's end; the resolve of a multisampled window runs inside the swap, and the
    // probe frames also time one of their own.
    enum class Phase { UPDATE, DRAW, PANELS, OVERLAY, RESOLVE, SWAP };
    static constexpr std::size_t kPhaseCount = 6;
    static const char* phaseName(Phase phase);

    // One frame as the controller timed it. A phase's GL time is negative where it was not
    // measured (no timer queries, or a phase the GL has no part in).
    struct FrameTimes {
        // From the start of this frame to the start of the next: what a person sees.
        double intervalMs = 0.0;
        std::array<double, kPhaseCount> cpuMs{};
        std::array<double, kPhaseCount> glMs{-1.0, -1.0, -1.0, -1.0, -1.0, -1.0};
        // CPU time of the whole process (every thread) over the interval.
        double processCpuMs = 0.0;
        // The share of each side a shader scene drew; negative for the other scenes.
        double drawnScale = -1.0;
    };

    enum class Stage { WARMING, PROBING, MEASURING };

    struct Schedule {
        // Warm-up ends after at least `minWarmup` frames once the last frames settle, or
        // after `maxWarmup` frames whatever they do.
        int minWarmup = 10;
        int maxWarmup = 60;
        int probeFrames = 8;
        int measuredFrames = 120;
    };

    // Galaxy at 10 000 and 50 000 stars, the bare point sprites at the same counts, Tree
    // with 3 and 10 trees and Triangles, each with the panels hidden and shown; then the
    // galaxy and the bare sprites as loud music sizes them; then each shader scene named, with
    // its adaptive resolution and at full size.
    static std::vector<Case> standardCases(const std::vector<std::string>& shaders = {});

    FrameBenchmark(std::vector<Case> cases, Schedule schedule);

    bool isDone() const { return mCaseIndex >= mCases.size(); }
    const Case& currentCase() const { return mCases.at(mCaseIndex); }
    // True on the first frame of a case, when the controller applies it.
    bool isCaseStarting() const { return mFrameInCase == 0; }
    Stage stage() const { return mStage; }
    // Records the frame just drawn and moves on. Warm-up frames count only towards deciding
    // when the case has settled; probe frames give the phases' CPU figures, measured frames
    // the interval, the cores and the GL timer figures.
    void recordFrame(const FrameTimes& times);

    std::string report() const;

    // The p-th percentile (0..100) by linear interpolation between the closest ranks.
    static double percentile(std::vector<double> samples, double p);
    // True when the last `window` intervals and the `window` before them have medians within
    // `tolerance` (a fraction) of each other: the frames no longer get faster or slower.
    static bool hasSettled(const std::vector<double>& intervals, std::size_t window, double tolerance);

  private:
    struct Measured {
        std::vector<FrameTimes> frames;
        std::vector<FrameTimes> probes;
        int warmupFrames = 0;
    };

    void nextCase();
    std::string reportLine(const Case& benchmarkCase, const Measured& measured) const;

    std::vector<Case> mCases;
    std::vector<Measured> mMeasured;
    Schedule mSchedule;
    std::size_t mCaseIndex = 0;
    int mFrameInCase = 0;
    int mFrameInStage = 0;
    Stage mStage = Stage::WARMING;
    std::vector<double> mWarmupIntervals;
    // How long the drawn scale of an adaptive case has held still.
    double mWarmupScale = -1.0;
    int mFramesAtScale = 0;
};

} // namespace mirvo
