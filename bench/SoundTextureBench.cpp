// The sound texture's cost on the main thread each frame: the history read of 2048 stereo
// frames the shader scene makes, then the mono mix, window, FFT, smoothing and bytes.
#include "audio/Buffer.h"
#include "src/scenes/shader/SoundTexture.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

void BM_SoundTextureFrame(benchmark::State& state)
{
    mirvo::audio::Buffer samples(mirvo::SoundTexture::kWindow, 2);
    for (std::size_t i = 0; i < mirvo::SoundTexture::kWindow; ++i) {
        samples.getChannel(0)[i] = 0.3f * static_cast<float>(std::sin(0.031 * static_cast<double>(i)));
        samples.getChannel(1)[i] = 0.2f * static_cast<float>(std::sin(0.17 * static_cast<double>(i)));
    }
    mirvo::SoundTexture texture;
    for (auto _ : state) {
        texture.update(samples);
        benchmark::DoNotOptimize(texture.getTexels().data());
    }
}
BENCHMARK(BM_SoundTextureFrame)->Unit(benchmark::kMicrosecond);

} // namespace
