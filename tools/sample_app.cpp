// A small program on the application framework: opens a window, draws with the default
// window matrices, prints the frame count and average frame rate once a second and can
// log input, report frame pacing, save a screenshot and quit after a number of frames.
//
//   mirvo_sample [--frames N] [--fps R] [--swap-interval N] [--aa LEVEL] [--size WxH]
//                [--fullscreen] [--title T] [--log-keys] [--log-mouse] [--report-pacing]
//                [--screenshot PATH] [--empty-draw]
#include "app/AppBasic.h"
#include "app/AppMain.h"
#include "app/RendererGl.h"
#include "app/Surface.h"

#include "core/Timer.h"

#include <epoxy/gl.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace mirvo;
using namespace mirvo::app;

namespace {

// Frames at the start that window creation and first compilation make irregular.
constexpr std::uint32_t kPacingWarmUpFrames = 20;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void fillRect(float x0, float y0, float x1, float y1)
{
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

} // namespace

class SampleApp : public AppBasic {
  public:
    void prepareSettings(Settings* settings) override;
    void setup() override;
    void update() override;
    void draw() override;
    void shutdown() override;
    void keyDown(KeyEvent event) override { logKey("keyDown", event); }
    void keyUp(KeyEvent event) override { logKey("keyUp", event); }
    void mouseDown(MouseEvent event) override { logMouse("mouseDown", event); }
    void mouseUp(MouseEvent event) override { logMouse("mouseUp", event); }
    void mouseDrag(MouseEvent event) override { logMouse("mouseDrag", event); }
    void mouseWheel(MouseEvent event) override { logMouse("mouseWheel", event); }
    void fileDrop(FileDropEvent event) override;

  private:
    void logKey(const char* what, const KeyEvent& event);
    void logMouse(const char* what, const MouseEvent& event);
    void captureScreenshot();
    void reportPacing();

    std::uint32_t mFrames = 0;
    int mSwapInterval = 1;
    bool mLogKeys = false;
    bool mLogMouse = false;
    bool mReportPacing = false;
    bool mEmptyDraw = false;
    std::string mScreenshotPath;
    double mLastPrint = 0.0;
    std::vector<double> mFrameTimes;
    double mCpuAtWarmUp = 0.0;
};

void SampleApp::prepareSettings(Settings* settings)
{
    settings->setFrameRate(80.0f);
    settings->getDefaultWindowFormat().title("mirvo sample");
    const auto& args = getCommandLineArgs();
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--frames" && hasValue) {
            mFrames = std::uint32_t(std::strtoul(args[++i].c_str(), nullptr, 10));
        } else if (arg == "--fps" && hasValue) {
            settings->setFrameRate(std::strtof(args[++i].c_str(), nullptr));
        } else if (arg == "--swap-interval" && hasValue) {
            mSwapInterval = std::atoi(args[++i].c_str());
        } else if (arg == "--aa" && hasValue) {
            const int level = std::clamp(std::atoi(args[++i].c_str()), 0, int(RendererGl::AA_MSAA_32));
            settings->getDefaultWindowFormat().renderer(RendererGl::create(level));
        } else if (arg == "--size" && hasValue) {
            int width = 0;
            int height = 0;
            if (std::sscanf(args[++i].c_str(), "%dx%d", &width, &height) == 2) {
                settings->setWindowSize(width, height);
            }
        } else if (arg == "--title" && hasValue) {
            settings->getDefaultWindowFormat().title(args[++i]);
        } else if (arg == "--fullscreen") {
            settings->setFullScreen(true);
        } else if (arg == "--log-keys") {
            mLogKeys = true;
        } else if (arg == "--log-mouse") {
            mLogMouse = true;
        } else if (arg == "--empty-draw") {
            mEmptyDraw = true;
        } else if (arg == "--report-pacing") {
            mReportPacing = true;
        } else if (arg == "--screenshot" && hasValue) {
            mScreenshotPath = args[++i];
        } else {
            std::fprintf(stderr, "mirvo_sample: unknown option %s\n", arg.c_str());
            settings->setShouldQuit();
        }
    }
    if (!mScreenshotPath.empty() && mFrames == 0) {
        mFrames = 2;
    }
}

void SampleApp::setup()
{
    if (auto renderer = std::dynamic_pointer_cast<RendererGl>(getWindow()->getRenderer())) {
        renderer->setSwapInterval(mSwapInterval);
    }
    if (!mScreenshotPath.empty()) {
        getWindow()->getSignalPostDraw().connect([this] { captureScreenshot(); });
    }
    std::printf("ready %dx%d samples=%d\n", getWindowWidth(), getWindowHeight(),
                std::dynamic_pointer_cast<RendererGl>(getWindow()->getRenderer())->getAntiAliasing());
    std::fflush(stdout);
}

void SampleApp::update()
{
    const std::uint32_t frame = getElapsedFrames();
    if (mFrames != 0 && frame > mFrames) {
        quit();
        return;
    }
    if (mReportPacing) {
        mFrameTimes.push_back(Timer::now());
        if (frame == kPacingWarmUpFrames) {
            mCpuAtWarmUp = cpuSeconds();
        }
    }
    const double elapsed = getElapsedSeconds();
    if (elapsed - mLastPrint >= 1.0) {
        mLastPrint = elapsed;
        std::printf("frame %u fps %.2f\n", frame, double(getAverageFps()));
        std::fflush(stdout);
    }
}

void SampleApp::draw()
{
    if (mEmptyDraw) {
        return;
    }
    glClearColor(0.05f, 0.05f, 0.1f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    const float width = float(getWindowWidth());
    const float height = float(getWindowHeight());
    constexpr float kCorner = 16.0f;
    // One square per corner shows where the default matrices put the window's edges.
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    fillRect(0.0f, 0.0f, kCorner, kCorner);
    glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
    fillRect(width - kCorner, 0.0f, width, kCorner);
    glColor4f(0.0f, 0.0f, 1.0f, 1.0f);
    fillRect(0.0f, height - kCorner, kCorner, height);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    fillRect(width - kCorner, height - kCorner, width, height);

    glPushMatrix();
    glTranslatef(width / 2.0f, height / 2.0f, 0.0f);
    glRotatef(float(getElapsedFrames()), 0.0f, 0.0f, 1.0f);
    const float radius = std::min(width, height) / 4.0f;
    glBegin(GL_TRIANGLES);
    glColor4f(1.0f, 0.5f, 0.0f, 1.0f);
    glVertex2f(0.0f, -radius);
    glColor4f(0.0f, 0.8f, 1.0f, 1.0f);
    glVertex2f(radius * 0.866f, radius * 0.5f);
    glColor4f(0.8f, 0.0f, 1.0f, 1.0f);
    glVertex2f(-radius * 0.866f, radius * 0.5f);
    glEnd();
    glPopMatrix();
}

void SampleApp::shutdown()
{
    if (mReportPacing) {
        reportPacing();
    }
    std::printf("shutdown after %u frames\n", getElapsedFrames());
    std::fflush(stdout);
}

void SampleApp::fileDrop(FileDropEvent event)
{
    for (const auto& file : event.getFiles()) {
        std::printf("fileDrop %d %d %s\n", event.getX(), event.getY(), file.string().c_str());
    }
    std::fflush(stdout);
}

void SampleApp::logKey(const char* what, const KeyEvent& event)
{
    if (!mLogKeys) {
        return;
    }
    std::printf("%s code=%d char=%u mods=0x%x native=%u\n", what, event.getCode(),
                unsigned(event.getCharUtf32()), unsigned(event.getModifiers()),
                unsigned(event.getNativeKeyCode()));
    std::fflush(stdout);
}

void SampleApp::logMouse(const char* what, const MouseEvent& event)
{
    if (!mLogMouse) {
        return;
    }
    std::printf("%s initiator=%d x=%d y=%d mods=0x%x wheel=%.2f\n", what, event.getInitiator(), event.getX(),
                event.getY(), unsigned(event.getModifiers()), double(event.getWheelIncrement()));
    std::fflush(stdout);
}

void SampleApp::captureScreenshot()
{
    if (getElapsedFrames() != mFrames) {
        return;
    }
    const Surface8u surface = getWindow()->getRenderer()->copyWindowSurface();
    if (!writePpm(surface, mScreenshotPath)) {
        std::fprintf(stderr, "mirvo_sample: cannot write %s\n", mScreenshotPath.c_str());
    }
}

void SampleApp::reportPacing()
{
    if (mFrameTimes.size() <= kPacingWarmUpFrames + 2) {
        std::printf("pacing: too few frames\n");
        return;
    }
    const double cpu = cpuSeconds() - mCpuAtWarmUp;
    const double wall = mFrameTimes.back() - mFrameTimes[kPacingWarmUpFrames - 1];
    std::vector<double> intervals;
    for (std::size_t i = kPacingWarmUpFrames; i < mFrameTimes.size(); ++i) {
        intervals.push_back((mFrameTimes[i] - mFrameTimes[i - 1]) * 1000.0);
    }
    std::sort(intervals.begin(), intervals.end());
    const double median = intervals[intervals.size() / 2];
    auto percentile = [&intervals](double p) {
        return intervals[std::min(intervals.size() - 1, std::size_t(double(intervals.size()) * p))];
    };
    std::printf("pacing: intervals=%zu requested=%.3fms median=%.3fms p90=%.3fms p99=%.3fms min=%.3fms "
                "max=%.3fms cpu=%.2f%% of a core\n",
                intervals.size(), 1000.0 / double(getFrameRate()), median, percentile(0.9), percentile(0.99),
                intervals.front(), intervals.back(), wall > 0.0 ? 100.0 * cpu / wall : 0.0);
}

MIRVO_APP_BASIC(SampleApp, RendererGl)
