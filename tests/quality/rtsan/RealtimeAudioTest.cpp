// Runs the application's audio graph under the real-time sanitizer: the engine brackets the audio thread's
// work (the render under the graph lock, the monitor's process) with real-time scopes, and any
// allocation, lock, sleep or file call inside one ends the process. Built only with clang 19
// and MIRVO_RTSAN (scripts/sanitize rtsan).
#include "audio/Context.h"
#include "audio/ContextManual.h"
#include "audio/Device.h"
#include "audio/DeviceManager.h"
#include "audio/FilePlayerNode.h"
#include "audio/GainNode.h"
#include "audio/MonitorSpectralNode.h"
#include "audio/OutputDeviceNode.h"
#include "audio/SoundServer.h"
#include "audio/SourceFile.h"
#include "core/DataSource.h"
#include "tests/TestPaths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern "C" void __rtsan_init();

namespace mirvo::audio {
namespace {

using namespace std::chrono_literals;

constexpr size_t kSampleRate = 48000;
constexpr size_t kFramesPerBlock = 512;
constexpr int kSpectrumReads = 800;             // 10 s
constexpr auto kBetweenSpectrumReads = 12500us; // 80 a second
constexpr int kReadsBetweenPauses = 160;        // every 2 s

// The application's split of a source: to the output at 0.9, and at 10.9 to a spectral monitor,
// which nothing pulls, so the context pulls it after every block.
std::shared_ptr<MonitorSpectralNode> wireAppGraph(Context* context, const NodeRef& source)
{
    auto monitor = context->makeNode(
        new MonitorSpectralNode(MonitorSpectralNode::Format().fftSize(2048).windowSize(512)));
    auto heard = context->makeNode(new GainNode(0.9f));
    auto analysed = context->makeNode(new GainNode(10.9f));
    source->connect(heard);
    heard->connect(context->getOutput());
    source->connect(analysed);
    analysed->connect(monitor);
    return monitor;
}

SourceFileRef startupMusic()
{
    return SourceFileRef(load(DataSourcePath::create(MIRVO_RESOURCES_DIR "/init.mp3"), kSampleRate));
}

// The application's graph on the "Null" device, whose own thread renders in real time: the
// start-up music -> gain 0.9 -> output, and -> gain 10.9 -> spectral monitor, which nothing
// pulls, so the context pulls it after every block.
TEST(RealtimeAudio, TheAppGraphPlaysThroughTheNullDeviceWithoutUnsafeCallsOnTheAudioThread)
{
    Context* context = Context::master();
    DeviceRef device = Context::deviceManager()->findDeviceByName("Null");
    ASSERT_NE(device, nullptr);
    context->setOutput(context->createOutputDeviceNode(device));
    {
        auto player = context->makeNode(new FilePlayerNode(startupMusic(), true));
        auto monitor = wireAppGraph(context, player);
        context->enable();
        player->enable();

        float loudestBin = 0.0f;
        int pauses = 0;
        for (int read = 1; read <= kSpectrumReads; ++read) {
            std::this_thread::sleep_for(kBetweenSpectrumReads);
            for (float magnitude : monitor->getMagSpectrum()) {
                loudestBin = std::max(loudestBin, magnitude);
            }
            if (read % kReadsBetweenPauses == 0) {
                player->setEnabled(!player->isEnabled());
                ++pauses;
            }
        }
        context->disable();

        EXPECT_GT(context->getNumProcessedFrames(), kSampleRate) << "the device hardly rendered";
        EXPECT_GE(pauses, 4);
        EXPECT_GT(loudestBin, 0.0f) << "the monitor never saw the music";
        EXPECT_TRUE(player->getLastError().empty()) << player->getLastError();
    }
    context->disconnectAllNodes();
    context->setOutput(nullptr);
}

// A tone whose channel count the UI thread changes while the graph plays, as the file player
// does when a file with another layout is dropped: under the graph lock, then configured.
class WideningToneNode : public Node {
  public:
    WideningToneNode() : Node(Format().channels(2).autoEnable(true)) {}
    void process(Buffer* buffer) override
    {
        for (size_t frame = 0; frame < buffer->getNumFrames(); ++frame) {
            const float sample = 0.25f * float(std::sin(mPhase));
            for (size_t ch = 0; ch < buffer->getNumChannels(); ++ch) {
                buffer->getChannel(ch)[frame] = sample;
            }
            mPhase = std::fmod(mPhase + 0.1309, 6.283185307179586);
        }
    }
    void widen(size_t numChannels)
    {
        std::lock_guard<std::mutex> lock(getContext()->getMutex());
        setNumChannels(numChannels);
        configureConnections();
    }

  private:
    double mPhase = 0.0;
};

// The graph widens from stereo to six channels, then the device changes its block size three
// times, all while the device thread renders: everything the change needs is sized on this
// thread.
TEST(RealtimeAudio, WideningToSixChannelsAndChangingTheBlockSizeWhilePlayingStayRealtimeSafe)
{
    Context* context = Context::master();
    DeviceRef device = Context::deviceManager()->findDeviceByName("Null");
    ASSERT_NE(device, nullptr);
    context->setOutput(context->createOutputDeviceNode(device));
    {
        auto tone = context->makeNode(new WideningToneNode());
        auto monitor = wireAppGraph(context, tone);
        context->enable();

        float loudestBin = 0.0f;
        auto readSpectra = [&](int reads) {
            for (int read = 0; read < reads; ++read) {
                std::this_thread::sleep_for(kBetweenSpectrumReads);
                for (float magnitude : monitor->getMagSpectrum()) {
                    loudestBin = std::max(loudestBin, magnitude);
                }
            }
        };
        readSpectra(16);
        tone->widen(6);
        EXPECT_EQ(monitor->getNumChannels(), 6u);
        readSpectra(16);
        for (size_t framesPerBlock : {256, 1024, 512}) {
            const uint64_t framesBefore = context->getNumProcessedFrames();
            device->updateFormat(Device::Format().framesPerBlock(framesPerBlock));
            readSpectra(16);
            EXPECT_GT(context->getNumProcessedFrames(), framesBefore + 4 * framesPerBlock)
                << "the device hardly rendered at " << framesPerBlock << " frames per block";
        }
        context->disable();
        EXPECT_GT(loudestBin, 0.0f) << "the monitor never saw the tone";
    }
    context->disconnectAllNodes();
    context->setOutput(nullptr);
}

// Files dropped on the playing graph, the way the window's drop path hands them to the player:
// mono, 5.1 and stereo in turn, at 44.1 kHz so that each needs resampling. Each drop changes
// the player's channel count, and with it the graph's.
TEST(RealtimeAudio, DroppingFilesOfOtherChannelCountsWhilePlayingStaysRealtimeSafe)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("mirvo-rtsan-drops-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::vector<std::filesystem::path> drops;
    for (int channels : {1, 6, 2, 6, 1}) {
        const auto path =
            folder / ("tone-" + std::to_string(drops.size()) + "-" + std::to_string(channels) + ".wav");
        const std::string command =
            "ffmpeg -nostdin -y -v error -f lavfi -i sine=frequency=440:sample_rate=44100:"
            "duration=2 -ac " +
            std::to_string(channels) + " '" + path.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        drops.push_back(path);
    }

    Context* context = Context::master();
    DeviceRef device = Context::deviceManager()->findDeviceByName("Null");
    ASSERT_NE(device, nullptr);
    context->setOutput(context->createOutputDeviceNode(device));
    {
        auto player = context->makeNode(new FilePlayerNode(startupMusic(), true));
        auto monitor = wireAppGraph(context, player);
        context->enable();
        player->enable();

        for (const std::filesystem::path& path : drops) {
            player->playSourceFile(SourceFileRef(load(DataSourcePath::create(path), 0)));
            for (int read = 0; read < 24; ++read) {
                std::this_thread::sleep_for(kBetweenSpectrumReads);
                monitor->getMagSpectrum();
            }
        }
        context->disable();
        EXPECT_EQ(player->getNumChannels(), 1u);
        EXPECT_GT(context->getNumProcessedFrames(), kSampleRate) << "the device hardly rendered";
        EXPECT_TRUE(player->getLastError().empty()) << player->getLastError();
    }
    context->disconnectAllNodes();
    context->setOutput(nullptr);
    std::filesystem::remove_all(folder);
}

// Live input: the monitor of the sound server's default output, while another program plays a
// tone into that output, captured into the spectral monitor of a graph that the null device
// renders. The server's thread fills the capture ring; only the block rebuild runs on the
// audio thread.
TEST(RealtimeAudio, CapturingWhatTheDesktopPlaysStaysRealtimeSafe)
{
    std::shared_ptr<SoundServer> server = SoundServer::connect();
    if (!server) {
        GTEST_SKIP() << "no sound server to capture from";
    }
    const std::optional<SoundServer::Source> source = server->getDefaultMonitor();
    ASSERT_TRUE(source) << "the sound server has no default output";

    const std::filesystem::path tone =
        std::filesystem::temp_directory_path() / ("mirvo-rtsan-tone-" + std::to_string(::getpid()) + ".wav");
    const std::string make = "ffmpeg -nostdin -y -v error -f lavfi -i sine=frequency=1000:sample_rate=48000:"
                             "duration=4 -ac 2 '" +
                             tone.string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    const std::string play = "paplay '" + tone.string() + "' &";
    ASSERT_EQ(std::system(play.c_str()), 0) << play;

    Context* context = Context::master();
    DeviceRef device = Context::deviceManager()->findDeviceByName("Null");
    ASSERT_NE(device, nullptr);
    context->setOutput(context->createOutputDeviceNode(device));
    {
        auto monitor = context->makeNode(
            new MonitorSpectralNode(MonitorSpectralNode::Format().fftSize(2048).windowSize(512)));
        std::shared_ptr<InputDeviceNode> capture = server->makeCaptureNode(*context, *source);
        capture->connect(monitor);
        capture->enable();
        context->enable();

        float loudestBin = 0.0f;
        for (int read = 0; read < 200; ++read) {
            std::this_thread::sleep_for(kBetweenSpectrumReads);
            for (float magnitude : monitor->getMagSpectrum()) {
                loudestBin = std::max(loudestBin, magnitude);
            }
        }
        context->disable();
        capture->disable();

        EXPECT_GT(context->getNumProcessedFrames(), kSampleRate) << "the device hardly rendered";
        EXPECT_FALSE(capture->isDeviceLost());
        EXPECT_GT(loudestBin, 0.0f) << "the tone never reached the spectrum";
        capture->disconnectAll();
    }
    context->disconnectAllNodes();
    context->setOutput(nullptr);
    std::filesystem::remove(tone);
}

// Allocates on every block: the sanitizer must catch it, or the test above proves nothing.
class AllocatingNode : public Node {
  public:
    AllocatingNode() : Node(Format().channels(2)) {}
    void process(Buffer* buffer) override
    {
        auto scratch = std::make_unique<std::vector<float>>(buffer->getNumFrames());
        mSink += (*scratch)[0];
    }

  private:
    float mSink = 0.0f;
};

TEST(RealtimeAudioDeathTest, AnAllocationInsideTheRenderIsCaught)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto context = ContextManual::create(kSampleRate, kFramesPerBlock, 2);
            context->makeNode(new AllocatingNode())->connect(context->getOutput());
            context->enable();
            context->renderBlocks(1);
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "Real-time violation.*malloc");
}

} // namespace
} // namespace mirvo::audio

int main(int argc, char** argv)
{
    __rtsan_init();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
