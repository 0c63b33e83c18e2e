#include "src/BenchmarkApp.h"

#include "app/Renderer.h"
#include "gl/Gl.h"
#include "src/BareStars.h"
#include "src/FailureText.h"
#include "src/scenes/Galaxy.h"
#include "src/scenes/Tree.h"

#include <algorithm>
#include <iostream>
#include <limits>

namespace mirvo {

namespace {

constexpr int kWarmupFrames = 20;
constexpr int kMeasuredFrames = 120;
// Every case sees the same mid-level spectrum, so the galaxy and the bare sprites rasterise
// stars of the same sizes whatever the music is doing.
constexpr float kHeldMagnitude = 0.5f;
constexpr std::size_t kGalaxyScene = 0;
constexpr std::size_t kTreeScene = 1;
constexpr std::size_t kTrianglesScene = 2;

CommandLine withoutNotices(CommandLine commandLine)
{
    // A notice fading in would be measured as part of whichever case it fell on.
    commandLine.notices = false;
    return commandLine;
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
    setSwitchInterval(std::numeric_limits<float>::infinity());
    try {
        mBareStars = std::make_unique<BareStars>(50000);
    } catch (const std::exception& exc) {
        std::cerr << "mirvo: cannot start: " << oneLine(exc.what()) << std::endl;
        setExitCode(1);
        quit();
        return;
    }
    mRenderer = getWindow()->getRenderer();
    mBenchmark = std::make_unique<FrameBenchmark>(FrameBenchmark::standardCases(), kWarmupFrames,
                                                  getCommandLine().frames.value_or(kMeasuredFrames));
}

void BenchmarkApp::shutdown()
{
    // The sprites' GL objects go while the window's context can still be made current.
    if (mRenderer) {
        mRenderer->makeCurrentContext();
    }
    mBareStars.reset();
    mRenderer.reset();
    MirvoApp::shutdown();
}

void BenchmarkApp::update()
{
    if (mBenchmark && !mBenchmark->isDone()) {
        mFrameStart = std::chrono::steady_clock::now();
        if (mBenchmark->isCaseStarting()) {
            applyCase();
        }
    }
    MirvoApp::update();
}

void BenchmarkApp::draw()
{
    MirvoApp::draw();
    if (mBenchmark && !mBenchmark->isDone()) {
        finishFrame();
    }
}

void BenchmarkApp::shapeSpectrum()
{
    std::fill(getMagSpectrum().begin(), getMagSpectrum().end(), kHeldMagnitude);
}

void BenchmarkApp::drawVisualizer()
{
    if (mBenchmark && !mBenchmark->isDone() &&
        mBenchmark->currentCase().scene == FrameBenchmark::Scene::BARE_STARS) {
        const auto& galaxy = dynamic_cast<const Galaxy&>(getVisualizer(kGalaxyScene));
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
    case FrameBenchmark::Scene::BARE_STARS:
        setVisualizer(kGalaxyScene);
        dynamic_cast<Galaxy&>(getVisualizer(kGalaxyScene)).setStarCount(benchmarkCase.starCount);
        break;
    case FrameBenchmark::Scene::TREE:
        dynamic_cast<Tree&>(getVisualizer(kTreeScene)).setTreeCount(benchmarkCase.treeCount);
        setVisualizer(kTreeScene);
        break;
    case FrameBenchmark::Scene::TRIANGLES:
        setVisualizer(kTrianglesScene);
        break;
    }
    if (benchmarkCase.panels != isUiVisible()) {
        toggleUi();
    }
}

void BenchmarkApp::finishFrame()
{
    // Waiting for the GL to finish charges each frame with its whole rendering cost.
    glFinish();
    const std::chrono::duration<double, std::milli> cost = std::chrono::steady_clock::now() - mFrameStart;
    mBenchmark->recordFrame(cost.count());
    if (!mBenchmark->isDone()) {
        return;
    }
    std::cout << "Frame cost at " << getWindowWidth() << "x" << getWindowHeight()
              << " (update + draw + glFinish, swap excluded):\n"
              << mBenchmark->report() << std::flush;
    quit();
}

} // namespace mirvo
