// The application's graph on the null device at its real-time pace while files are dropped on
// it four times a second: how long the render thread waits for the graph lock, how long its
// longest block takes against the block period, and whether it allocates. The files rotate
// through the decoders (MP3, Ogg Vorbis, a WAV at 44.1 kHz that must be resampled) and through
// mono, stereo and 5.1, so that every drop changes the player's channel count or its decoder.
#include "audio/Context.h"
#include "audio/DeviceManager.h"
#include "audio/FilePlayerNode.h"
#include "audio/GainNode.h"
#include "audio/MonitorSpectralNode.h"
#include "audio/RenderTiming.h"
#include "audio/SourceFile.h"
#include "audio/null/OutputDeviceNodeNull.h"
#include "core/DataSource.h"
#include "tests/audio/alloc/AllocationCounter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <stdlib.h>

namespace mirvo::audio {
namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kRate = 48000;
constexpr size_t kFramesPerBlock = 512;

double secondsFromEnv(const char* name, double fallback)
{
    const char* value = std::getenv(name);
    return value ? std::atof(value) : fallback;
}

// Keeps every block's figures in storage reserved up front; from its first report on, the
// render thread's allocations are counted.
class TimingRecorder : public RenderTimingObserver {
  public:
    explicit TimingRecorder(size_t capacity) : mLockWaits(capacity), mTotals(capacity) {}

    void blockRendered(Clock::duration lockWait, Clock::duration total) noexcept override
    {
        test::countAllocationsOnThisThread(true);
        const size_t index = mCount.load(std::memory_order_relaxed);
        if (index < mLockWaits.size()) {
            mLockWaits[index] = std::chrono::duration<double, std::micro>(lockWait).count();
            mTotals[index] = std::chrono::duration<double, std::micro>(total).count();
            mCount.store(index + 1, std::memory_order_release);
        }
    }

    // After the device stopped.
    std::vector<double> lockWaits() const { return head(mLockWaits); }
    std::vector<double> totals() const { return head(mTotals); }

  private:
    std::vector<double> head(const std::vector<double>& values) const
    {
        return std::vector<double>(values.begin(), values.begin() + std::ptrdiff_t(mCount.load()));
    }

    std::vector<double> mLockWaits;
    std::vector<double> mTotals;
    std::atomic<size_t> mCount{0};
};

// A temporary folder with the files to drop, made by ffmpeg.
class DropFiles {
  public:
    DropFiles()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "mirvo-drops-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        mDir = pattern;
        // Ordered so that each drop changes the decoder and, most of the time, the channels.
        make("mono.mp3", 48000, 1, "-c:a libmp3lame -b:a 128k");
        make("stereo.ogg", 48000, 2, "-c:a libvorbis -q:a 4");
        make("surround.wav", 44100, 6, "-c:a pcm_s16le");
        make("stereo.mp3", 48000, 2, "-c:a libmp3lame -b:a 192k");
        make("surround.ogg", 48000, 6, "-c:a libvorbis -q:a 4");
        make("mono.wav", 44100, 1, "-c:a pcm_s16le");
        make("mono.ogg", 48000, 1, "-c:a libvorbis -q:a 4");
        make("stereo.wav", 44100, 2, "-c:a pcm_s16le");
    }
    ~DropFiles()
    {
        std::error_code ignored;
        std::filesystem::remove_all(mDir, ignored);
    }
    DropFiles(const DropFiles&) = delete;
    DropFiles& operator=(const DropFiles&) = delete;

    const std::vector<std::string>& paths() const { return mPaths; }

  private:
    void make(const std::string& name, int rate, int channels, const std::string& codec)
    {
        std::ostringstream command;
        command << "ffmpeg -nostdin -y -loglevel error -f lavfi -i 'aevalsrc=exprs=";
        for (int c = 0; c < channels; ++c) {
            command << (c ? "|" : "") << "0.4*sin(2*PI*" << 220 + 110 * c << "*t)";
        }
        const std::string path = (mDir / name).string();
        command << ":s=" << rate << ":d=8' " << codec << " '" << path << "'";
        if (std::system(command.str().c_str()) != 0) {
            throw std::runtime_error("could not make " + name + " with: " + command.str());
        }
        mPaths.push_back(path);
    }

    std::filesystem::path mDir;
    std::vector<std::string> mPaths;
};

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(fraction * double(values.size())));
    return values[index];
}

// What the application does with a dropped file, once it has decoded its header.
void dropOnPlayer(FilePlayerNode& player, const SourceFileRef& source)
{
    player.playSourceFile(source);
}

void BM_DropStorm(benchmark::State& state)
{
    const double seconds = secondsFromEnv("MIRVO_DROP_STORM_SECONDS", 60.0);
    const DropFiles files;
    const double period = double(kFramesPerBlock) / double(kRate);
    TimingRecorder recorder(size_t(seconds / period * 1.5) + 256);

    Context* context = Context::master();
    DeviceRef device = Context::deviceManager()->findDeviceByName("Null");
    if (!device) {
        state.SkipWithError("no Null device");
        return;
    }
    device->updateFormat(Device::Format().sampleRate(kRate).framesPerBlock(kFramesPerBlock));
    auto output = context->createOutputDeviceNode(device);
    context->setOutput(output);

    // The application's graph: player -> 0.9 -> output, player -> 10.9 -> spectral monitor.
    auto monitor = context->makeNode(new MonitorSpectralNode(
        MonitorSpectralNode::Format().windowSize(512).fftSize(2048).windowType(dsp::HANN)));
    auto player = context->makeNode(
        new FilePlayerNode(SourceFileRef(load(loadFile(files.paths().back()), kRate)), true));
    auto listening = context->makeNode(new GainNode(0.9f));
    auto analysis = context->makeNode(new GainNode(10.9f));
    player->connect(listening);
    listening->connect(output);
    player->connect(analysis);
    analysis->connect(monitor);

    size_t drops = 0;
    size_t failedDrops = 0;
    for (auto _ : state) {
        setRenderTimingObserver(&recorder);
        context->enable();
        player->enable();

        // The UI thread: a frame every 12.5 ms reads the spectrum, every twentieth drops a file.
        const auto frame = std::chrono::microseconds(12500);
        const auto until = Clock::now() + std::chrono::duration<double>(seconds);
        auto nextFrame = Clock::now();
        for (size_t frameIndex = 0; Clock::now() < until; ++frameIndex) {
            if (frameIndex % 20 == 19) {
                const std::string& path = files.paths()[drops % files.paths().size()];
                ++drops;
                try {
                    dropOnPlayer(*player, SourceFileRef(load(loadFile(path), 0)));
                } catch (const std::exception&) {
                    ++failedDrops;
                }
            }
            benchmark::DoNotOptimize(monitor->getMagSpectrum().data());
            nextFrame += frame;
            std::this_thread::sleep_until(nextFrame);
        }

        context->disable();
        setRenderTimingObserver(nullptr);
    }

    const std::vector<double> waits = recorder.lockWaits();
    const std::vector<double> totals = recorder.totals();
    state.counters["blocks"] = double(totals.size());
    state.counters["drops"] = double(drops);
    state.counters["failed_drops"] = double(failedDrops);
    state.counters["lock_wait_max_us"] = percentile(waits, 1.0);
    state.counters["lock_wait_p999_us"] = percentile(waits, 0.999);
    state.counters["block_max_share"] = percentile(totals, 1.0) / (period * 1e6);
    state.counters["block_p999_share"] = percentile(totals, 0.999) / (period * 1e6);
    state.counters["render_allocations"] = double(test::countedAllocations());
    state.counters["underruns"] = double(player->getNumUnderruns());

    context->disconnectAllNodes();
    context->setOutput(nullptr);
}
BENCHMARK(BM_DropStorm)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace mirvo::audio
