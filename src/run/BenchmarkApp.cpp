#include "src/run/BenchmarkApp.h"

#include "app/Renderer.h"
#include "app/RendererGl.h"
#include "gl/Gl.h"
#include "src/FailureText.h"
#include "src/run/BareStars.h"
#include "src/scenes/Galaxy.h"
#include "src/scenes/Tree.h"
#include "src/scenes/shader/ShaderScene.h"

#include <algorithm>
#include <ctime>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace mirvo {

namespace {

constexpr int kMeasuredFrames = 120;
// Every held case sees the same mid-level spectrum, so the galaxy and the bare sprites
// rasterise stars of the same sizes whatever the music is doing.
constexpr float kHeldMagnitude = 0.5f;
// Loud broadband music, after the controller's gain, fills every bin: every star is drawn at
// its full size.
constexpr float kLoudMagnitude = 1.0f;
constexpr std::size_t kGalaxyScene = 0;
constexpr std::size_t kTreeScene = 1;
constexpr std::size_t kTrianglesScene = 2;

using Phase = FrameBenchmark::Phase;

CommandLine withoutNotices(CommandLine commandLine)
{
    // A notice fading in would be measured as part of whichever case it fell on.
    commandLine.notices = false;
    return commandLine;
}

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1.0e6;
}

// The window's size in pixels: the default resize sets the viewport to it.
Vec2i backingSize()
{
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    return {viewport[2], viewport[3]};
}

double milliseconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

} // namespace

BenchmarkApp::BenchmarkApp(CommandLine commandLine) : MirvoApp(withoutNotices(std::move(commandLine)))
{
}

BenchmarkApp::~BenchmarkApp() = default;

void BenchmarkApp::prepareSettings(Settings* settings)
{
    MirvoApp::prepareSettings(settings);
    settings->setFullScreen(false);
    settings->setWindowSize(getCommandLine().windowSize);
    settings->disableFrameRate();
}

void BenchmarkApp::setup()
{
    MirvoApp::setup();
    if (!isStarted()) {
        return;
    }
    getScenes().setSwitchInterval(std::numeric_limits<float>::infinity());
    try {
        mBareStars = std::make_unique<BareStars>(50000);
    } catch (const std::exception& exc) {
        std::cerr << "mirvo: cannot start: " << oneLine(exc.what()) << std::endl;
        setExitCode(1);
        quit();
        return;
    }
    mRenderer = getWindow()->getRenderer();
    if (auto* renderer = dynamic_cast<app::RendererGl*>(mRenderer.get())) {
        // What is measured is the frame itself, not the wait for a display's refresh.
        renderer->setSwapInterval(0);
        mSamples = renderer->getAntiAliasing();
    }
    mHasTimer = epoxy_gl_version() >= 33 || epoxy_has_gl_extension("GL_ARB_timer_query");
    if (mHasTimer) {
        glGenQueries(kMarkCount, mQueries.data());
    }
    const bool canBlit = epoxy_gl_version() >= 30 || epoxy_has_gl_extension("GL_ARB_framebuffer_object");
    if (mSamples > 0 && canBlit) {
        glGenRenderbuffers(1, &mResolveRenderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, mResolveRenderbuffer);
        const Vec2i size = backingSize();
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, size.x, size.y);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glGenFramebuffers(1, &mResolveFramebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, mResolveFramebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  mResolveRenderbuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    FrameBenchmark::Schedule schedule;
    if (const std::optional<int> frames = getCommandLine().frames) {
        // A short run asked for is short throughout: no more warm-up or probe frames than that.
        schedule.measuredFrames = *frames;
        schedule.minWarmup = std::min(schedule.minWarmup, *frames);
        schedule.maxWarmup = std::min(schedule.maxWarmup, *frames);
        schedule.probeFrames = std::min(schedule.probeFrames, *frames);
    } else {
        schedule.measuredFrames = kMeasuredFrames;
    }
    // The shader scenes follow the three built-in ones in the rotation.
    std::vector<std::string> shaders;
    for (std::size_t index = kTrianglesScene + 1; index < getScenes().size(); ++index) {
        if (dynamic_cast<ShaderScene*>(&getScenes().get(index))) {
            shaders.push_back(getScenes().getName(index));
        }
    }
    mBenchmark = std::make_unique<FrameBenchmark>(FrameBenchmark::standardCases(shaders), schedule);
}

void BenchmarkApp::shutdown()
{
    // The sprites' and the probes' GL objects go while the window's context can still be made
    // current.
    if (mRenderer) {
        mRenderer->makeCurrentContext();
        if (mHasTimer) {
            glDeleteQueries(kMarkCount, mQueries.data());
        }
        if (mResolveFramebuffer != 0) {
            glDeleteFramebuffers(1, &mResolveFramebuffer);
            glDeleteRenderbuffers(1, &mResolveRenderbuffer);
        }
    }
    mBareStars.reset();
    mRenderer.reset();
    MirvoApp::shutdown();
}

void BenchmarkApp::update()
{
    const Clock::time_point now = Clock::now();
    if (isMeasuring() && mFrameOpen) {
        finishFrame(now);
    }
    if (isMeasuring()) {
        startFrame(now);
        if (mBenchmark->isCaseStarting()) {
            applyCase();
        }
    }
    MirvoApp::update();
    mUpdateDone = Clock::now();
}

void BenchmarkApp::startFrame(Clock::time_point now)
{
    mFrameOpen = true;
    mFrameStart = now;
    mProcessCpuAtStart = processCpuMs();
    mMarked.fill(false);
}

void BenchmarkApp::draw()
{
    if (!isMeasuring()) {
        MirvoApp::draw();
        return;
    }
    mark(DRAW_START);
    MirvoApp::draw();
    if (mBenchmark->stage() == FrameBenchmark::Stage::PROBING) {
        resolveProbe();
    }
    mark(RESOLVE_DONE);
}

void BenchmarkApp::drawPartDone(DrawPart part)
{
    if (!isMeasuring()) {
        return;
    }
    switch (part) {
    case DrawPart::SCENE:
        mark(SCENE_DONE);
        break;
    case DrawPart::PANELS:
        mark(PANELS_DONE);
        break;
    case DrawPart::OVERLAY:
        mark(OVERLAY_DONE);
        break;
    }
}

void BenchmarkApp::mark(Mark at)
{
    if (mBenchmark->stage() == FrameBenchmark::Stage::PROBING) {
        glFinish();
    }
    mMarks[at] = Clock::now();
    mMarked[at] = true;
    if (mHasTimer) {
        glQueryCounter(mQueries[at], GL_TIMESTAMP);
    }
}

void BenchmarkApp::resolveProbe()
{
    // The same resolve the swap does for a multisampled window, into a target of our own, so
    // that it can be timed apart from the copy to the screen.
    if (mResolveFramebuffer == 0) {
        return;
    }
    glFinish();
    const Vec2i size = backingSize();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, mResolveFramebuffer);
    glBlitFramebuffer(0, 0, size.x, size.y, 0, 0, size.x, size.y, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void BenchmarkApp::finishFrame(Clock::time_point now)
{
    mFrameOpen = false;
    mMarks[NEXT_FRAME] = now;
    mMarked[NEXT_FRAME] = true;
    if (mHasTimer) {
        glQueryCounter(mQueries[NEXT_FRAME], GL_TIMESTAMP);
    }
    if (!mMarked[RESOLVE_DONE]) {
        // No draw since the last update (the window was not ready): nothing to record.
        return;
    }

    FrameBenchmark::FrameTimes times;
    times.intervalMs = milliseconds(now - mFrameStart);
    times.processCpuMs = processCpuMs() - mProcessCpuAtStart;
    if (const auto* shader = dynamic_cast<const ShaderScene*>(&getScenes().getCurrent())) {
        times.drawnScale = shader->getDrawnScale();
    } else if (const auto* galaxy = dynamic_cast<const Galaxy*>(&getScenes().getCurrent());
               galaxy && isMeasuring() && mBenchmark->currentCase().adaptiveScale) {
        times.drawnScale = galaxy->getDrawnScale();
    }
    const auto between = [this](Mark from, Mark to) { return milliseconds(mMarks[to] - mMarks[from]); };
    times.cpuMs[static_cast<std::size_t>(Phase::UPDATE)] = milliseconds(mUpdateDone - mFrameStart);
    times.cpuMs[static_cast<std::size_t>(Phase::DRAW)] = between(DRAW_START, SCENE_DONE);
    times.cpuMs[static_cast<std::size_t>(Phase::PANELS)] = between(SCENE_DONE, PANELS_DONE);
    times.cpuMs[static_cast<std::size_t>(Phase::OVERLAY)] = between(PANELS_DONE, OVERLAY_DONE);
    times.cpuMs[static_cast<std::size_t>(Phase::RESOLVE)] = between(OVERLAY_DONE, RESOLVE_DONE);
    times.cpuMs[static_cast<std::size_t>(Phase::SWAP)] = between(RESOLVE_DONE, NEXT_FRAME);
    if (mHasTimer) {
        std::array<GLuint64, kMarkCount> stamps{};
        for (int at = DRAW_START; at < kMarkCount; ++at) {
            glGetQueryObjectui64v(mQueries[static_cast<std::size_t>(at)], GL_QUERY_RESULT,
                                  &stamps[static_cast<std::size_t>(at)]);
        }
        const auto glBetween = [&stamps](Mark from, Mark to) {
            return stamps[to] >= stamps[from] ? static_cast<double>(stamps[to] - stamps[from]) / 1.0e6 : 0.0;
        };
        times.glMs[static_cast<std::size_t>(Phase::DRAW)] = glBetween(DRAW_START, SCENE_DONE);
        times.glMs[static_cast<std::size_t>(Phase::PANELS)] = glBetween(SCENE_DONE, PANELS_DONE);
        times.glMs[static_cast<std::size_t>(Phase::OVERLAY)] = glBetween(PANELS_DONE, OVERLAY_DONE);
        if (mResolveFramebuffer != 0 && mBenchmark->stage() == FrameBenchmark::Stage::PROBING) {
            times.glMs[static_cast<std::size_t>(Phase::RESOLVE)] = glBetween(OVERLAY_DONE, RESOLVE_DONE);
        }
        times.glMs[static_cast<std::size_t>(Phase::SWAP)] = glBetween(RESOLVE_DONE, NEXT_FRAME);
    }
    mBenchmark->recordFrame(times);
    if (mBenchmark->isDone()) {
        report();
    }
}

void BenchmarkApp::report()
{
    const char* rendererName = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    std::cout
        << "Whole frame at " << getWindowWidth() << "x" << getWindowHeight() << ", " << mSamples
        << " samples, swap interval 0, on " << (rendererName ? rendererName : "an unnamed GL") << ":\n"
        << mBenchmark->report()
        << "fps, frame ms, p95 ms: from one frame's start to the next, swap included. cores: process CPU\n"
           "time over wall time. Phases: median ms of probe frames that finish the GL after each phase\n"
           "(the GL timer line: median of timestamp queries in the measured frames). resolve: the\n"
           "window's samples blitted to a target of their own, which the swap does as well.\n"
        << std::flush;
    quit();
}

void BenchmarkApp::shapeSpectrum()
{
    const bool loud = isMeasuring() && mBenchmark->currentCase().spectrum == FrameBenchmark::Spectrum::LOUD;
    std::fill(getMagSpectrum().begin(), getMagSpectrum().end(), loud ? kLoudMagnitude : kHeldMagnitude);
}

void BenchmarkApp::drawVisualizer()
{
    if (isMeasuring() && mBenchmark->currentCase().scene == FrameBenchmark::Scene::BARE_STARS) {
        const auto& galaxy = dynamic_cast<const Galaxy&>(getScenes().get(kGalaxyScene));
        mBareStars->draw(getMagSpectrum(), mBenchmark->currentCase().starCount, galaxy.getRotation());
        return;
    }
    MirvoApp::drawVisualizer();
}

void BenchmarkApp::applyCase()
{
    const FrameBenchmark::Case& benchmarkCase = mBenchmark->currentCase();
    switch (benchmarkCase.scene) {
    case FrameBenchmark::Scene::GALAXY:
    case FrameBenchmark::Scene::BARE_STARS: {
        setVisualizer(kGalaxyScene);
        auto& galaxy = dynamic_cast<Galaxy&>(getScenes().get(kGalaxyScene));
        galaxy.setStarCount(benchmarkCase.starCount);
        galaxy.setAdaptiveScale(benchmarkCase.adaptiveScale);
        break;
    }
    case FrameBenchmark::Scene::TREE:
        dynamic_cast<Tree&>(getScenes().get(kTreeScene)).setTreeCount(benchmarkCase.treeCount);
        setVisualizer(kTreeScene);
        break;
    case FrameBenchmark::Scene::TRIANGLES:
        setVisualizer(kTrianglesScene);
        break;
    case FrameBenchmark::Scene::SHADER:
        if (const std::optional<std::size_t> index = getScenes().find(benchmarkCase.shader)) {
            auto& shader = dynamic_cast<ShaderScene&>(getScenes().get(*index));
            shader.setResolutionScale(1.0f);
            shader.setAdaptiveScale(benchmarkCase.adaptiveScale);
            setVisualizer(*index);
        }
        break;
    }
    if (benchmarkCase.panels != isUiVisible()) {
        toggleUi();
    }
}

} // namespace mirvo
