// The `--benchmark` run: the visualizer driven through the frame benchmark's schedule
// instead of the music. Every case sees the same mid-level spectrum, scenes change only when
// the schedule says, and the bare point-sprite cases draw the galaxy's stars without the
// framework to show what it adds. At the end it prints the report and quits. Main thread.
#pragma once

#include "src/FrameBenchmark.h"
#include "src/MirvoApp.h"

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

  private:
    void applyCase();
    void finishFrame();

    std::unique_ptr<FrameBenchmark> mBenchmark;
    std::unique_ptr<BareStars> mBareStars;
    app::RendererRef mRenderer;
    std::chrono::steady_clock::time_point mFrameStart;
};

} // namespace mirvo
