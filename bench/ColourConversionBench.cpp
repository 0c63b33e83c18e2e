// What turning a read-back frame into the encoder's YUV costs the drawing thread, at 1280x720:
// the frame just read back (in the cache) and one of eight in turn, as a frame coming back from
// a read-back that another thread wrote meanwhile is.
#include "src/render/ColourConversion.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

void BM_RgbaToYuv420(benchmark::State& state)
{
    constexpr int kWidth = 1280;
    constexpr int kHeight = 720;
    const auto numFrames = static_cast<std::size_t>(state.range(0));
    std::mt19937 random(5);
    std::vector<std::vector<std::uint8_t>> frames(
        numFrames, std::vector<std::uint8_t>(std::size_t{kWidth} * kHeight * 4));
    for (std::vector<std::uint8_t>& frame : frames) {
        for (std::uint8_t& value : frame) {
            value = static_cast<std::uint8_t>(random());
        }
    }
    std::vector<std::uint8_t> y(std::size_t{kWidth} * kHeight);
    std::vector<std::uint8_t> u(y.size() / 4);
    std::vector<std::uint8_t> v(y.size() / 4);
    const mirvo::render::YuvPlanes planes{y.data(), kWidth, u.data(), kWidth / 2, v.data(), kWidth / 2};
    std::size_t next = 0;
    for (auto _ : state) {
        mirvo::render::rgbaToYuv420(frames[next].data(), kWidth, kHeight, planes);
        benchmark::DoNotOptimize(y.data());
        next = (next + 1) % numFrames;
    }
}

BENCHMARK(BM_RgbaToYuv420)->ArgName("frames")->Arg(1)->Arg(8)->Unit(benchmark::kMicrosecond);

} // namespace
