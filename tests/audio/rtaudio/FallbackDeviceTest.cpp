#include "audio/Context.h"
#include "audio/SoundServer.h"
#include "audio/rtaudio/OutputDeviceNodeRtAudio.h"
#include "tests/audio/DeviceTestSupport.h"
#include "tests/audio/ShutdownOnlyApp.h"
#include "tests/audio/WaitFor.h"
#include "tests/audio/rtaudio/SoundServerSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

namespace mirvo::audio {
namespace {

using test::waitFor;

using namespace std::chrono_literals;

// A sound server of this test's own, so that killing it disturbs nobody else. Each test runs
// in a process of its own, so pointing PULSE_SERVER at it before the first device query makes it
// the only server the engine sees.
class PrivateSoundServer {
  public:
    PrivateSoundServer()
    {
        char pattern[] = "/tmp/mirvo-lose.XXXXXX";
        if (!mkdtemp(pattern)) {
            return;
        }
        mDir = pattern;
        mServer = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                     "--use-pid-file=no",
                                     "--load=module-native-protocol-unix socket=" + mDir + "/native",
                                     "--load=module-null-sink sink_name=mirvo_lossy"},
            false, "PULSE_RUNTIME_PATH=" + mDir);
        mAddress = "unix:" + mDir + "/native";
        waitFor(
            [this] { return std::system(("pactl -s " + mAddress + " info >/dev/null 2>&1").c_str()) == 0; });
    }
    ~PrivateSoundServer()
    {
        mServer.reset();
        std::filesystem::remove_all(mDir);
    }

    bool answers() const
    {
        return std::system(("pactl -s " + mAddress + " info >/dev/null 2>&1").c_str()) == 0;
    }
    const std::string& getAddress() const { return mAddress; }
    void kill() { mServer->stop(SIGKILL); }
    void freeze() { mServer->signal(SIGSTOP); }
    void thaw() { mServer->signal(SIGCONT); }

  private:
    std::string mDir;
    std::string mAddress;
    std::unique_ptr<test::ChildProcess> mServer;
};

// Plays on a private server, loses it through `lose`, and checks that the graph goes on on the
// null device with one line on stderr.
void playThenLoseTheServer(const std::function<void(PrivateSoundServer&)>& lose)
{
    PrivateSoundServer server;
    ASSERT_TRUE(server.answers());
    setenv("PULSE_SERVER", server.getAddress().c_str(), 1);
    // The engine found this server's devices; the application's shutdown releases them again so
    // that later tests in this process see the ordinary server.
    test::ShutdownOnlyApp application;

    Context* context = Context::master();
    auto output = std::dynamic_pointer_cast<OutputDeviceNodeRtAudio>(context->getOutput());
    ASSERT_NE(output, nullptr) << "the private server's sink should be the default output";
    auto sine = context->makeNode(new test::SineSourceNode(1000.0f, 0.5f));
    sine->connect(output);

    testing::internal::CaptureStderr();
    context->enable();
    const uint64_t block = output->getFramesPerBlock();
    EXPECT_TRUE(waitFor([&] { return context->getNumProcessedFrames() >= 20 * block; }));

    lose(server);
    EXPECT_TRUE(waitFor([&] { return output->isOnFallback(); }));
    const uint64_t framesAtLoss = context->getNumProcessedFrames();
    EXPECT_TRUE(waitFor([&] { return context->getNumProcessedFrames() >= framesAtLoss + 20 * block; }))
        << "the graph keeps rendering on the null device";
    EXPECT_TRUE(context->isEnabled());
    EXPECT_EQ(sine->getOutputs().size(), 1u) << "the graph keeps its connections";

    // The render threads only count the loss; the line comes from the main thread's next update.
    const std::string printedByRenderThreads = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printedByRenderThreads, "") << "a render thread wrote to stderr";
    testing::internal::CaptureStderr();
    application.getSignalUpdate()();
    application.getSignalUpdate()();

    // A frozen server holds the stream until it dies.
    server.kill();
    context->disable();
    const std::string printed = printedByRenderThreads + testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("output continues on the null device"), std::string::npos) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;

    context->disconnectAllNodes();
    unsetenv("PULSE_SERVER");
    application.getSignalShutdown()();
}

bool pulseAudioInstalled()
{
    return std::system("command -v pulseaudio >/dev/null 2>&1") == 0;
}

TEST(LostOutputDevice, FallsBackToTheNullDeviceWhenTheServerDiesAndSaysSoOnce)
{
    if (!pulseAudioInstalled()) {
        GTEST_SKIP() << "pulseaudio is not installed";
    }
    playThenLoseTheServer([](PrivateSoundServer& server) { server.kill(); });
}

TEST(LostOutputDevice, FallsBackToTheNullDeviceWhenTheServerStopsAnswering)
{
    if (!pulseAudioInstalled()) {
        GTEST_SKIP() << "pulseaudio is not installed";
    }
    playThenLoseTheServer([](PrivateSoundServer& server) { server.freeze(); });
}

TEST(LiveCaptureAfterAFrozenServer, CatchesUpWithTheSoundOnceTheServerKeepsTimeAgain)
{
    // A server starved for a moment (a busy machine) hands its backlog over in one go. The
    // capture takes it whole, but once small pieces come again it must not keep that backlog's
    // size queued, which would hold the picture that far behind the sound for good.
    if (!pulseAudioInstalled()) {
        GTEST_SKIP() << "pulseaudio is not installed";
    }
    PrivateSoundServer server;
    ASSERT_TRUE(server.answers());
    setenv("PULSE_SERVER", server.getAddress().c_str(), 1);
    test::ShutdownOnlyApp application;
    const SoundServerRef sounds = SoundServer::connect();
    ASSERT_NE(sounds, nullptr);
    const std::optional<SoundServer::Source> monitor = sounds->getDefaultMonitor();
    ASSERT_TRUE(monitor.has_value());

    Context* context = Context::master();
    auto output = std::dynamic_pointer_cast<OutputDeviceNodeRtAudio>(context->getOutput());
    ASSERT_NE(output, nullptr) << "the private server's sink should be the default output";
    const size_t rate = output->getSampleRate();
    auto sine = context->makeNode(new test::SineSourceNode(1000.0f, 0.5f));
    sine->connect(output);
    const std::shared_ptr<InputDeviceNode> capture = sounds->makeCaptureNode(*context, *monitor);
    auto recorder = context->makeNode(new test::RecorderNode(rate * 30));
    capture->connect(recorder);
    capture->enable();
    context->enable();
    ASSERT_TRUE(waitFor([&] { return recorder->getNumRecorded() > rate / 2; }));

    server.freeze();
    std::this_thread::sleep_for(400ms);
    server.thaw();
    ASSERT_TRUE(waitFor([&] { return capture->getDeliveryFrames() > rate / 5; }))
        << "the backlog of a frozen server did not reach the capture at once";
    std::this_thread::sleep_for(300ms);
    const size_t grown = capture->getDeliveryFrames();
    // Within a few seconds of pieces at the clock's pace the ring is sized for them again (a
    // busy machine's pieces may still be some thousand frames), and what stays queued is what
    // such pieces need.
    const auto caughtUp = [&] {
        const size_t delivery = capture->getDeliveryFrames();
        return delivery <= grown / 2 &&
               capture->getQueuedFrames() <= 2 * delivery + output->getFramesPerBlock();
    };
    const auto giveUp = std::chrono::steady_clock::now() + 12s;
    while (!caughtUp() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(caughtUp()) << "grown to " << grown << " frames, sized for " << capture->getDeliveryFrames()
                            << " after 12 s, " << capture->getQueuedFrames() << " queued";

    context->disable();
    capture->disable();
    context->disconnectAllNodes();
    unsetenv("PULSE_SERVER");
    application.getSignalShutdown()();
}

} // namespace
} // namespace mirvo::audio
