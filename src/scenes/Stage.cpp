#include "src/scenes/Stage.h"

#include "audio/Context.h"
#include "audio/MonitorSpectralNode.h"
#include "gl/Draw.h"
#include "gl/Gl.h"
#include "params/InterfaceGl.h"
#include "src/scenes/Galaxy.h"
#include "src/scenes/SpectrumOverlay.h"
#include "src/scenes/SpectrumShaping.h"
#include "src/scenes/Tree.h"
#include "src/scenes/Triangles.h"

#include <algorithm>
#include <string>
#include <utility>

namespace mirvo {

MonitorSpectralNodeRef Stage::makeSpectrumMonitor(audio::Context& context)
{
    auto monitorFormat =
        audio::MonitorSpectralNode::Format().windowSize(512).fftSize(2048).windowType(audio::dsp::HANN);
    return context.makeNode(new audio::MonitorSpectralNode(monitorFormat));
}

void Stage::bindPanel(params::InterfaceGl& panel)
{
    const std::string indexOptions = "min=1 max=" + std::to_string(512) + " step=10";
    panel.addParam("Start Idx", &mStartIdx, indexOptions, false);
    panel.addParam("End Idx", &mEndIdx, indexOptions, false);
    panel.addParam("Visual Gain", &mVisualGain, "min=0.01 max=100000.0 step=0.05", false);
    panel.addParam("Ramp Start", &mRampStart, "min=0.01 max=100000.0 step=0.05", false);
    panel.addParam("Ramp End", &mRampEnd, "min=0.01 max=100000.0 step=0.05", false);
    panel.addParam("Display Spectrum", &mDisplaySpectrum, false);
}

void Stage::addStandardScenes(std::function<float()> viewHeight, bool offscreen, bool smoothEdges)
{
    const MonitorSpectralNodeRef& monitor = mMonitor;
    std::vector<std::pair<std::string, std::unique_ptr<Visualizer>>> scenes;
    scenes.emplace_back("galaxy", std::make_unique<Galaxy>(monitor, mSpectrum));
    auto tree = std::make_unique<Tree>(monitor, mSpectrum);
    tree->setWindowHeightSource(std::move(viewHeight));
    scenes.emplace_back("tree", std::move(tree));
    scenes.emplace_back("triangles", std::make_unique<Triangles>(monitor, mSpectrum));
    for (auto& [name, scene] : scenes) {
        if (offscreen) {
            scene->setWithoutPanels();
        }
        scene->setSmoothEdges(smoothEdges);
        mScenes.add(name, std::move(scene));
    }
}

void Stage::takeSpectrum()
{
    mSpectrum = mMonitor->getMagSpectrum();
}

void Stage::takeSpectrumEndingAt(uint64_t end)
{
    // A frame shows the window that ends at its own moment of the music. The monitor's own
    // read hands over the oldest window queued, which lags the frame and, as more is pulled
    // per frame than one window holds, can miss a short sound altogether.
    mSpectrum = mMonitor->getMagSpectrumEndingAt(end);
}

void Stage::shapeSpectrum()
{
    mirvo::shapeSpectrum(mSpectrum, mVisualGain, mRampStart, mRampEnd);
}

void Stage::updateOverlay(Vec2i size)
{
    if (mDisplaySpectrum) {
        buildSpectrumPath(mSpectrumPath, mSpectrum, static_cast<float>(size.x), static_cast<float>(size.y));
    }
}

void Stage::clear()
{
    // On a software renderer a clear of the multisampled frame costs milliseconds, and a scene
    // that clears the frame itself would paint over this one unseen.
    if (!mScenes.empty() && mScenes.getCurrent().clearsWholeFrame()) {
        return;
    }
    // Colour alone: no scene tests depth, and clearing it cost a software renderer more per frame
    // than drawing all of the triangles.
    glDisable(GL_DEPTH_TEST);
    gl::clear(ColorA(0.0f, 0.0f, 0.0f, 1.0f), false);
}

namespace {

Vec2f fractionOf(Vec2i at, Vec2i window)
{
    return Vec2f(static_cast<float>(at.x) / static_cast<float>(std::max(1, window.x)),
                 static_cast<float>(at.y) / static_cast<float>(std::max(1, window.y)));
}

} // namespace

void Stage::pointerPressed(Vec2i at, Vec2i window)
{
    const Vec2f fraction = fractionOf(at, window);
    mScenes.getCurrent().pointerPressed(fraction.x, fraction.y);
}

void Stage::pointerDragged(Vec2i at, Vec2i window)
{
    const Vec2f fraction = fractionOf(at, window);
    mScenes.getCurrent().pointerDragged(fraction.x, fraction.y);
}

void Stage::drawScene(Vec2i size)
{
    gl::pushModelView();
    gl::translate(Vec2f(static_cast<float>(size.x / 2), static_cast<float>(size.y / 2)));
    mScenes.getCurrent().draw();
    gl::popModelView();
}

void Stage::drawOverlay(Vec2i size)
{
    if (!mDisplaySpectrum) {
        return;
    }
    const float height = static_cast<float>(size.y);
    const float width = static_cast<float>(size.x);

    glColor4f(1.0f, 0.2f, 0.2f, 1.0f);
    const float startX = spectrumBinX(static_cast<float>(mStartIdx), width);
    gl::drawLine(Vec2f(startX, height), Vec2f(startX, 0.9f * height));
    const float endX = spectrumBinX(static_cast<float>(mEndIdx), width);
    gl::drawLine(Vec2f(endX, height), Vec2f(endX, 0.8f * height));

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    gl::draw(mSpectrumPath);
}

void Stage::advance(float deltaSeconds, Vec2i size)
{
    shapeSpectrum();
    updateOverlay(size);
    mScenes.update(deltaSeconds);
}

void Stage::drawFrame(Vec2i size)
{
    clear();
    drawScene(size);
    drawOverlay(size);
}

} // namespace mirvo
