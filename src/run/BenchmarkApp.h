// The `--benchmark` run: the visualizer driven through the frame benchmark's schedule
// instead of the music. Every case sees the same spectrum, scenes change only when the
// schedule says, and the bare point-sprite cases draw the galaxy's stars without the
// framework to show what it adds. Swaps wait for no refresh, each frame is timed from its
// start to the next one's, and its phases with CPU clocks and GL timer queries. At the end
// it prints the report and quits. Main thread.
#pragma once

#include "src/MirvoApp.h"
#include "src/run/FrameBenchmark.h"

#include <array>
#include <chrono>
#include <memory>

namespace mirvo {

class BareStars;

class BenchmarkApp : public MirvoApp {
  public:
    // `commandLine.frames`, when given, is the number of measured frames per case.
    explicit BenchmarkApp(CommandLine commandLine);
    ~BenchmarkApp() override;

    void prepareSettings(Settings* settings) override;
    void setup() override;
    void shutdown() override;
    void update() override;
    void draw() override;

  protected:
    void shapeSpectrum() override;
    void drawVisualizer() override;
    void drawPartDone(DrawPart part) override;

  private:
    using Clock = std::chrono::steady_clock;
    // The moments of a frame the phases lie between; the GL timer takes the same ones.
    enum Mark { DRAW_START, SCENE_DONE, PANELS_DONE, OVERLAY_DONE, RESOLVE_DONE, NEXT_FRAME, kMarkCount };

    bool isMeasuring() const { return mBenchmark && !mBenchmark->isDone(); }
    void applyCase();
    // Probe frames finish the GL at every mark, so that each phase is charged its rasterising.
    void mark(Mark at);
    void startFrame(Clock::time_point now);
    void finishFrame(Clock::time_point now);
    void resolveProbe();
    void report();

    std::unique_ptr<FrameBenchmark> mBenchmark;
    std::unique_ptr<BareStars> mBareStars;
    app::RendererRef mRenderer;
    int mSamples = 0;
    bool mFrameOpen = false;
    Clock::time_point mFrameStart;
    Clock::time_point mUpdateDone;
    double mProcessCpuAtStart = 0.0;
    std::array<Clock::time_point, kMarkCount> mMarks{};
    std::array<bool, kMarkCount> mMarked{};
    // Timestamp queries, one per mark; none where the GL has no timer queries.
    std::array<unsigned, kMarkCount> mQueries{};
    bool mHasTimer = false;
    // A single-sampled target of the window's size for the resolve probe.
    unsigned mResolveFramebuffer = 0;
    unsigned mResolveRenderbuffer = 0;
};

} // namespace mirvo
