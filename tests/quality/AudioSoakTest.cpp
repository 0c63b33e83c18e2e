// A long run of the application's audio graph on the "Null" device, rendered faster than real
// time: the start-up music loops, a file of another format and channel count replaces it every
// 30 s, Space pauses or resumes it every 7 s and the spectrum is read 80 times a second. No
// block may come up short except just after a file change or a loop wrap, memory stays flat
// after the first minute, and nothing stays open or running once the graph is gone.
//   MIRVO_SOAK_SECONDS: simulated length (scripts/test --soak: one hour; otherwise 5 minutes).
#include "audio/Context.h"
#include "audio/DeviceManager.h"
#include "audio/FilePlayerNode.h"
#include "audio/GainNode.h"
#include "audio/MonitorSpectralNode.h"
#include "audio/SourceFile.h"
#include "core/DataSource.h"
#include "tests/TestPaths.h"
#include "tests/audio/DeviceTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MIRVO_SOAK_SANITIZED 1
#else
#define MIRVO_SOAK_SANITIZED 0
#endif

namespace mirvo::audio {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr uint64_t kRate = 48000;
constexpr uint64_t kBlock = 512;
constexpr double kSpeedUp = 20.0;
constexpr uint64_t kSwapEvery = 30 * kRate;
constexpr uint64_t kSpaceEvery = 7 * kRate;
constexpr uint64_t kFramesPerRead = kRate / 80;
// Just after a file change or a loop wrap the rings hold old audio or none yet.
constexpr uint64_t kSettleFrames = kRate;
constexpr uint64_t kWarmUpFrames = 60 * kRate;
constexpr long kRssToleranceBytes = 2 * 1024 * 1024;
// How long the device waits for a reader that has left the rings short. A real device gives it
// the rest of the ring (85 ms) at most; the render here runs many times faster on a shared,
// often overloaded machine, so the bound is one of liveness: a reader that has not refilled
// within a second has missed its wake-up or is stuck.
constexpr auto kReaderSlack = 1s;

uint64_t soakFrames()
{
    const char* seconds = std::getenv("MIRVO_SOAK_SECONDS");
    return kRate * uint64_t(seconds ? std::max(1L, std::atol(seconds)) : 300L);
}

size_t countEntries(const char* folder)
{
    return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

long residentBytes()
{
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

class TempFolder {
  public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "mirvo-soak-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            mPath = pattern;
        }
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(mPath, ignored);
    }
    std::string file(const std::string& name) const { return (mPath / name).string(); }

  private:
    fs::path mPath;
};

bool makeWithFfmpeg(const std::string& input, const std::string& options, const std::string& path)
{
    const std::string command =
        "ffmpeg -nostdin -y -v error -f lavfi -i '" + input + "' " + options + " '" + path + "'";
    return std::system(command.c_str()) == 0;
}

SourceFileRef open(const std::string& path)
{
    return SourceFileRef(load(DataSourcePath::create(path), kRate));
}

struct SoakFigures {
    uint64_t blocks = 0;
    uint64_t swaps = 0;
    uint64_t pauses = 0;
    uint64_t reads = 0;
    uint64_t excusedUnderruns = 0;
    std::vector<uint64_t> badUnderruns;
    long rssMin = 0;
    long rssMax = 0;
    double wallSeconds = 0.0;
};

TEST(AudioSoak, TheAppGraphRunsLongWithoutShortBlocksGrowthOrLeftovers)
{
    TempFolder folder;
    const std::string mono = folder.file("mono-44k.wav");
    const std::string quad = folder.file("quad-32k.ogg");
    if (!makeWithFfmpeg("sine=frequency=330:sample_rate=44100:duration=20", "-ac 1", mono) ||
        !makeWithFfmpeg("sine=frequency=220:sample_rate=32000:duration=25",
                        "-af aformat=channel_layouts=quad -c:a libvorbis", quad)) {
        GTEST_SKIP() << "ffmpeg cannot make the test files";
    }
    const std::vector<std::string> files = {std::string(MIRVO_RESOURCES_DIR) + "/init.mp3", mono, quad};

    Context* context = Context::master();
    DeviceRef device = Context::deviceManager()->findDeviceByName("Null");
    ASSERT_NE(device, nullptr);
    const size_t fdsBefore = countEntries("/proc/self/fd");
    const size_t threadsBefore = countEntries("/proc/self/task");

    SoakFigures figures;
    {
        auto output = context->makeNode(new test::ManualDeviceOutput(device, Node::Format()));
        context->setOutput(output);
        auto monitor = context->makeNode(
            new MonitorSpectralNode(MonitorSpectralNode::Format().fftSize(2048).windowSize(512)));
        auto player = context->makeNode(new FilePlayerNode(open(files[0]), true));
        auto heard = context->makeNode(new GainNode(0.9f));
        auto analysed = context->makeNode(new GainNode(10.9f));
        player->connect(heard);
        heard->connect(output);
        player->connect(analysed);
        analysed->connect(monitor);
        player->setLoopEnabled(true);
        context->enable();
        player->enable();

        const uint64_t totalFrames = soakFrames();
        std::atomic<uint64_t> allowedFrames{kFramesPerRead};
        std::atomic<bool> done{false};
        const auto started = std::chrono::steady_clock::now();
        // Plays the device: paced at kSpeedUp times real time, never more than one spectrum read
        // ahead of the UI, and giving a late reader the time a real device would.
        std::thread deviceThread([&] {
            uint64_t block = 0;
            while (!done.load()) {
                if (context->getNumProcessedFrames() >= allowedFrames.load()) {
                    std::this_thread::yield();
                    continue;
                }
                std::this_thread::sleep_until(
                    started +
                    std::chrono::duration<double>(double(block * kBlock) / double(kRate) / kSpeedUp));
                const auto patience = std::chrono::steady_clock::now() + kReaderSlack;
                bool waited = false;
                while (player->isEnabled() && player->getNumBufferedFrames() < kBlock &&
                       player->getReadPosition() < player->getNumFrames() &&
                       std::chrono::steady_clock::now() < patience) {
                    std::this_thread::sleep_for(100us);
                    waited = true;
                }
                // The reader fills the first channel's ring before the others: a device that
                // had really run the rings dry would not come back within microseconds of it.
                if (waited) {
                    std::this_thread::sleep_for(2ms);
                }
                output->renderBlock();
                ++block;
            }
        });

        uint64_t lastDiscontinuity = 0;
        uint64_t lastUnderrunSeen = 0;
        size_t lastReadPosition = 0;
        size_t currentFile = 0;
        for (uint64_t now = kFramesPerRead; now <= totalFrames; now += kFramesPerRead) {
            while (context->getNumProcessedFrames() < now) {
                std::this_thread::sleep_for(50us);
            }
            const uint64_t frame = context->getNumProcessedFrames();

            const size_t readPosition = player->getReadPosition();
            if (readPosition < lastReadPosition) {
                lastDiscontinuity = frame; // a loop wrap
            }
            lastReadPosition = readPosition;
            const uint64_t underrun = player->getLastUnderrun();
            if (underrun != lastUnderrunSeen) {
                lastUnderrunSeen = underrun;
                const uint64_t sinceChange = underrun > lastDiscontinuity ? underrun - lastDiscontinuity
                                                                          : lastDiscontinuity - underrun;
                if (sinceChange <= kSettleFrames) {
                    ++figures.excusedUnderruns;
                } else {
                    figures.badUnderruns.push_back(underrun);
                }
            }

            monitor->getMagSpectrum();
            ++figures.reads;
            if (now % kSpaceEvery < kFramesPerRead) {
                player->setEnabled(!player->isEnabled());
                ++figures.pauses;
            }
            if (now % kSwapEvery < kFramesPerRead) {
                currentFile = (currentFile + 1) % files.size();
                player->setSourceFile(open(files[currentFile]));
                player->enable();
                player->start();
                lastDiscontinuity = context->getNumProcessedFrames();
                lastReadPosition = 0;
                ++figures.swaps;
            }
            if (now >= kWarmUpFrames) {
                const long rss = residentBytes();
                figures.rssMin = figures.rssMin == 0 ? rss : std::min(figures.rssMin, rss);
                figures.rssMax = std::max(figures.rssMax, rss);
            }
            allowedFrames.store(now + kFramesPerRead);
        }
        done.store(true);
        deviceThread.join();
        figures.wallSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        figures.blocks = context->getNumProcessedFrames() / kBlock;
        EXPECT_TRUE(player->getLastError().empty()) << player->getLastError();

        context->disable();
        context->disconnectAllNodes();
        context->setOutput(nullptr);
    }

    std::cout << "soak: " << double(figures.blocks * kBlock) / double(kRate) << " s of audio in "
              << figures.wallSeconds << " s, " << figures.swaps << " file swaps, " << figures.pauses
              << " pauses, " << figures.reads << " spectrum reads, underruns " << figures.excusedUnderruns
              << " after a change and " << figures.badUnderruns.size() << " elsewhere; resident memory after "
              << "the first minute " << figures.rssMin / 1024 << " to " << figures.rssMax / 1024 << " KiB"
              << std::endl;

    for (uint64_t frame : figures.badUnderruns) {
        ADD_FAILURE() << "a block came up short at " << double(frame) / double(kRate) << " s";
    }
    if (!MIRVO_SOAK_SANITIZED && figures.rssMax > 0) {
        EXPECT_LE(figures.rssMax - figures.rssMin, kRssToleranceBytes) << "resident memory grew";
    }
    // The graph's threads (the player's reader) end with it; the count needs a moment to settle.
    for (int i = 0; i < 100 && countEntries("/proc/self/task") > threadsBefore; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(countEntries("/proc/self/task"), threadsBefore) << "threads left over";
    EXPECT_EQ(countEntries("/proc/self/fd"), fdsBefore) << "files left open";
}

} // namespace
} // namespace mirvo::audio
