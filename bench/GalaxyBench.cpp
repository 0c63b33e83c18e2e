// What a frame of the galaxy costs at 1280x720 as the window draws it, at full size, its stars as
// the GL's point sprites or added up on the CPU and copied in, with every bin at a middle level or
// at full scale (loud broadband music). Each iteration draws a frame into a framebuffer object and waits for
// the GL; `cores` is the process's CPU time over the wall time (the software renderer's threads included),
// `cpu_ms` the CPU time of a frame.
#include "app/Camera.h"
#include "bench/OffscreenFrame.h"
#include "core/Resources.h"
#include "gl/Gl.h"
#include "src/scenes/Galaxy.h"
#include "tests/TestPaths.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

// The window's matrices, with the origin at the view's centre as the scenes are drawn.
void loadWindowMatrices()
{
    const mirvo::CameraPersp camera(kWidth, kHeight, 60.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(camera.getProjectionMatrix().data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(camera.getModelViewMatrix().data());
    glScalef(1.0f, -1.0f, 1.0f);
    glTranslatef(0.0f, -float(kHeight), 0.0f);
    glTranslatef(float(kWidth / 2), float(kHeight / 2), 0.0f);
}

void BM_Galaxy(benchmark::State& state, bool onCpu, float magnitude, int32_t stars)
{
    try {
        mirvo::bench::offscreenContext();
    } catch (const std::exception& exc) {
        state.SkipWithError(exc.what());
        return;
    }
    mirvo::app::setResourceDirectory(std::string(MIRVO_SOURCE_DIR) + "/resources");
    const mirvo::bench::FrameTarget target(kWidth, kHeight);
    std::vector<float> spectrum(1024, magnitude);
    mirvo::Galaxy galaxy(nullptr, spectrum);
    galaxy.setWithoutPanels();
    galaxy.setAdaptiveScaleAllowed(false);
    galaxy.setup();
    galaxy.setStarsOnCpu(onCpu);
    galaxy.setStarCount(stars);
    galaxy.activate();
    loadWindowMatrices();
    const mirvo::bench::FrameTimes times = mirvo::bench::drawFrames(state, galaxy, 1.0f / 80.0f);
    galaxy.deactivate();
    state.counters["cores"] = benchmark::Counter(times.cpu / times.wall);
    state.counters["cpu_ms"] =
        benchmark::Counter(times.cpu * 1000.0 / static_cast<double>(state.iterations()));
}

BENCHMARK_CAPTURE(BM_Galaxy, gl_sprites_middle, false, 0.5f, 10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Galaxy, cpu_stars_middle, true, 0.5f, 10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Galaxy, gl_sprites_loud, false, 1.0f, 10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Galaxy, cpu_stars_loud, true, 1.0f, 10000)->Unit(benchmark::kMillisecond)->UseRealTime();
// What getting a frame's picture from the CPU into the GL costs by itself: the floor of the CPU's
// stars.
BENCHMARK_CAPTURE(BM_Galaxy, cpu_one_star, true, 0.0f, 1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
