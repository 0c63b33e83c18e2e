// What Mirvo's own shader scenes cost to draw at 1280x720 and at the smaller sizes the adaptive
// scale falls to (a half and a quarter of each side), on whatever GL the machine has (Mesa's
// software renderer under Xvfb, or EGL surfaceless). Each iteration draws a frame into a
// framebuffer object and waits for the GL; `cores` is the process's CPU time over the wall
// time, which shows how many of the software renderer's threads took part.
#include "bench/OffscreenFrame.h"
#include "gl/Gl.h"
#include "src/scenes/shader/ShaderScene.h"
#include "tests/TestPaths.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

void BM_OwnShaderScene(benchmark::State& state, const std::string& name)
{
    const int width = static_cast<int>(state.range(0));
    const int height = width * 9 / 16;
    try {
        mirvo::bench::offscreenContext();
    } catch (const std::exception& exc) {
        state.SkipWithError(exc.what());
        return;
    }
    const mirvo::bench::FrameTarget target(width, height);

    std::vector<float> spectrum(1024, 0.0f);
    mirvo::ShaderScene scene(
        nullptr, spectrum,
        mirvo::readShaderFile(std::string(MIRVO_SOURCE_DIR) + "/resources/scenes/" + name + ".glsl"));
    scene.setWithoutPanels();
    scene.compile();
    // Loud, broad sound, so that the shaders take their busiest paths.
    mirvo::audio::Buffer samples(mirvo::SoundTexture::kWindow, 2);
    uint32_t noise = 1;
    for (std::size_t i = 0; i < mirvo::SoundTexture::kWindow; ++i) {
        noise = noise * 1664525u + 1013904223u;
        samples.getChannel(0)[i] = static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
        samples.getChannel(1)[i] = samples.getChannel(0)[i];
    }
    scene.takeSound(samples);
    const mirvo::bench::FrameTimes times = mirvo::bench::drawFrames(state, scene, 1.0f / 60.0f);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()) / times.wall);
    state.counters["cores"] = benchmark::Counter(times.cpu / times.wall);
}

BENCHMARK_CAPTURE(BM_OwnShaderScene, spectrum_ring, std::string("spectrum-ring"))
    ->Arg(1280)
    ->Arg(640)
    ->Arg(320)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_OwnShaderScene, breathing_tunnel, std::string("breathing-tunnel"))
    ->Arg(1280)
    ->Arg(640)
    ->Arg(320)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_OwnShaderScene, oscilloscope, std::string("oscilloscope"))
    ->Arg(1280)
    ->Arg(640)
    ->Arg(320)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
