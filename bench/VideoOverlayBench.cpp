// What the title, cover and progress bar add to a rendered frame: a 1280x720 frame of the
// triangles (edges smoothed, as a software renderer draws a video) with and without them, in
// one run. Each iteration draws the frame into a framebuffer object and waits for the GL
// (process_cpu_ms counts every thread's CPU time, which a busy machine disturbs less); the
// encoder's share of a render, which the overlay does not touch, is left out, so the ratio is
// an upper bound on the overlay's share of a render's time.
#include "app/Camera.h"
#include "bench/OffscreenFrame.h"
#include "gl/Draw.h"
#include "gl/Font.h"
#include "gl/Gl.h"
#include "src/render/VideoOverlay.h"
#include "src/scenes/Triangles.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

void BM_TrianglesFrame(benchmark::State& state)
{
    // 0 none, 1 all three, 2 the bar, 3 the title, 4 the cover.
    const int parts = static_cast<int>(state.range(0));
    const bool withOverlay = parts != 0;
    try {
        mirvo::bench::offscreenContext();
    } catch (const std::exception& exc) {
        state.SkipWithError(exc.what());
        return;
    }
    const mirvo::bench::FrameTarget target(kWidth, kHeight);
    mirvo::CameraPersp camera(kWidth, kHeight, 60.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(camera.getProjectionMatrix().data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(camera.getModelViewMatrix().data());
    glScalef(1.0f, -1.0f, 1.0f);
    glTranslatef(0.0f, -static_cast<float>(kHeight), 0.0f);

    std::vector<float> spectrum(1024, 0.3f);
    mirvo::Triangles scene(nullptr, spectrum);
    scene.setWithoutPanels();
    scene.setSmoothEdges(true);
    scene.setup();
    scene.activate();

    std::unique_ptr<mirvo::render::VideoOverlay> overlay;
    if (withOverlay) {
        overlay = std::make_unique<mirvo::render::VideoOverlay>(mirvo::Vec2i(kWidth, kHeight), false);
        mirvo::render::Picture cover;
        cover.size = overlay->getCoverBox();
        cover.rgba.assign(static_cast<std::size_t>(cover.size.x * cover.size.y) * 4, 200);
        if (parts == 1 || parts == 4) {
            overlay->setCover(cover);
        }
        if (parts == 1 || parts == 3 || parts == 5) {
            const auto font = mirvo::gl::Font::open(mirvo::gl::Font::findFile("DejaVu Sans"));
            overlay->setTitle(*font, "A Title Long Enough to Fill a Line", "The Artist");
        }
        overlay->setProgressShown(parts == 1 || parts == 2);
    }

    double seconds = 10.0;
    const double cpuStart = mirvo::bench::processCpuSeconds();
    for (auto _ : state) {
        mirvo::gl::clear(mirvo::ColorA(0, 0, 0, 1), true);
        scene.update(1.0f / 60.0f);
        mirvo::gl::pushModelView();
        mirvo::gl::translate(mirvo::Vec2f(kWidth / 2.0f, kHeight / 2.0f));
        scene.draw();
        mirvo::gl::popModelView();
        if (overlay) {
            overlay->draw(seconds, 180.0);
            if (parts == 5) {
                overlay->draw(seconds, 180.0);
            }
        }
        seconds += 1.0 / 60.0;
        glFinish();
    }
    state.counters["process_cpu_ms"] = benchmark::Counter((mirvo::bench::processCpuSeconds() - cpuStart) *
                                                          1000.0 / static_cast<double>(state.iterations()));
    overlay.reset();
}

BENCHMARK(BM_TrianglesFrame)
    ->ArgName("overlay")
    ->DenseRange(0, 5)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
