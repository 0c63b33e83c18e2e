// Costs of the audio engine's hot paths: one block of the application's graph rendered
// offline, the least any engine copies for that graph, the spectrum the UI asks for every
// frame, the bare FFT under it, and the ring buffer that carries samples between threads.
#include "audio/ContextManual.h"
#include "audio/GainNode.h"
#include "audio/MonitorSpectralNode.h"
#include "audio/dsp/Fft.h"
#include "audio/dsp/RingBuffer.h"
#include "tests/audio/TestNodes.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace mirvo::audio;
using Clock = std::chrono::steady_clock;

constexpr size_t kFrames = 512;
constexpr size_t kChannels = 2;

std::vector<float> testSignal(size_t length)
{
    std::vector<float> signal(length);
    for (size_t i = 0; i < length; ++i) {
        signal[i] = 0.1f * static_cast<float>(std::sin(0.05 * double(i)));
    }
    return signal;
}

// The application's graph: player -> gain 0.9 -> output; player -> gain 10.9 -> spectral
// monitor, pulled by the context. The player reads its block from rings, as the file player
// does; refilling them (the read thread's work) and draining the monitor (the UI thread's)
// happen outside the timed render.
void BM_RenderAppGraph(benchmark::State& state)
{
    test::OfflineAppGraph graph(kFrames);
    auto output = graph.context->getManualOutput();
    const auto& player = graph.player;
    const auto& monitor = graph.monitor;

    const std::vector<float> block = testSignal(kFrames);
    for (auto _ : state) {
        player->queue(block.data(), kFrames);
        const auto start = Clock::now();
        output->renderBlock();
        const auto end = Clock::now();
        monitor->getBuffer();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    benchmark::DoNotOptimize(output->getOutputBuffer().getData());
}
BENCHMARK(BM_RenderAppGraph)->UseManualTime();

// Four plain copies of one stereo block: read the source, scale, hand to the device, feed the
// analysis. No engine renders the graph above with less.
void BM_BlockCopyFloor(benchmark::State& state)
{
    constexpr size_t kSamples = kFrames * kChannels;
    std::vector<float> source = testSignal(kSamples);
    std::vector<float> a(kSamples), b(kSamples), c(kSamples), d(kSamples);
    for (auto _ : state) {
        std::memcpy(a.data(), source.data(), kSamples * sizeof(float));
        std::memcpy(b.data(), a.data(), kSamples * sizeof(float));
        std::memcpy(c.data(), b.data(), kSamples * sizeof(float));
        std::memcpy(d.data(), c.data(), kSamples * sizeof(float));
        benchmark::DoNotOptimize(d.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BlockCopyFloor);

// The UI thread's spectrum at the application's settings, with a fresh window in the rings
// for every call (filled outside the timed part, as the audio thread would).
void BM_MagSpectrum(benchmark::State& state)
{
    ContextManualRef context = ContextManual::create(48000, kFrames, kChannels);
    auto source = context->makeNode(new test::ConstantSourceNode({0.0f}, Node::Format().channels(kChannels)));
    auto monitor = context->makeNode(new MonitorSpectralNode(
        MonitorSpectralNode::Format().windowSize(512).fftSize(2048).windowType(dsp::HANN)));
    source->connect(monitor);

    Buffer block(kFrames, kChannels);
    const std::vector<float> signal = testSignal(kFrames * kChannels);
    std::copy(signal.begin(), signal.end(), block.getData());
    monitor->process(&block);
    monitor->process(&block);
    for (auto _ : state) {
        const auto start = Clock::now();
        const std::vector<float>& magnitudes = monitor->getMagSpectrum();
        const auto end = Clock::now();
        benchmark::DoNotOptimize(magnitudes.data());
        monitor->process(&block);
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}
BENCHMARK(BM_MagSpectrum)->UseManualTime();

// The bare library transform the spectrum is built on.
void BM_FftForward2048(benchmark::State& state)
{
    constexpr int kSize = 2048;
    float* input = fftwf_alloc_real(kSize);
    fftwf_complex* output = fftwf_alloc_complex(kSize / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(kSize, input, output, FFTW_ESTIMATE);
    const std::vector<float> signal = testSignal(kSize);
    std::copy(signal.begin(), signal.end(), input);
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(output);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(output);
    fftwf_free(input);
}
BENCHMARK(BM_FftForward2048);

// The engine's FFT of the same size: the library transform plus the repacking.
void BM_DspFftForward2048(benchmark::State& state)
{
    dsp::Fft fft(2048);
    Buffer waveform(2048, 1);
    const std::vector<float> signal = testSignal(2048);
    std::copy(signal.begin(), signal.end(), waveform.getData());
    BufferSpectral spectral(2048);
    for (auto _ : state) {
        fft.forward(&waveform, &spectral);
        benchmark::DoNotOptimize(spectral.getData());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DspFftForward2048);

void BM_RingBuffer512(benchmark::State& state)
{
    dsp::RingBuffer ring(4096 + 100);
    const std::vector<float> source = testSignal(512);
    std::vector<float> dest(512);
    for (auto _ : state) {
        ring.write(source.data(), 512);
        ring.read(dest.data(), 512);
        benchmark::DoNotOptimize(dest.data());
    }
}
BENCHMARK(BM_RingBuffer512);

} // namespace
