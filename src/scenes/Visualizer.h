// The scene interface the controller drives: life cycle hooks, the shared spectrum and the
// three fixed frequency bands. The controller creates the scenes once and owns them for the
// whole run; everything here runs on the main thread.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace mirvo::audio {
class MonitorSpectralNode;
} // namespace mirvo::audio

namespace mirvo::params {
class InterfaceGl;
} // namespace mirvo::params

namespace mirvo {

using MonitorSpectralNodeRef = std::shared_ptr<audio::MonitorSpectralNode>;
using InterfaceGlRef = std::shared_ptr<params::InterfaceGl>;

class Visualizer {
  public:
    // The spectrum is owned by the controller, refreshed in place every frame before
    // `update`, and outlives the scene.
    Visualizer(MonitorSpectralNodeRef monitor, std::vector<float>& spectrum);
    virtual ~Visualizer() = default;

    virtual void setup() {}
    virtual void activate() = 0;
    virtual void deactivate() = 0;
    virtual void update(float dt) = 0;
    virtual void draw() = 0;
    virtual InterfaceGlRef getParams() { return {}; }
    // True when draw starts by clearing the whole frame, colour and depth: the controller's
    // black clear before it would then be painted over unseen.
    virtual bool clearsWholeFrame() const { return false; }
    // False for a scene that cannot draw (a shader that failed to compile): the rotation passes it by.
    virtual bool isShowable() const { return true; }
    // The left button's pointer, for a scene that follows it; positions are fractions of the
    // window, y downwards. What the panels take never comes here.
    virtual void pointerPressed(float /*x*/, float /*y*/) {}
    virtual void pointerDragged(float /*x*/, float /*y*/) {}
    virtual void pointerReleased() {}

    // Sum of the bins startIdx..endIdx (both included) divided by endIdx - startIdx.
    float avgMagnitudeInRange(std::size_t startIdx, std::size_t endIdx) const;
    // The same over a band given as fractions of the spectrum length, truncated to bins.
    float avgMagnitudeInRange(float start, float end) const;

    const std::vector<float>& getSpectrum() const { return *mSpectrum; }

    // Before setup: build no panel. A render has no window for one and never shows panels.
    void setWithoutPanels() { mWithPanels = false; }
    // For a frame drawn without multisampling: the scene smooths its own edges, at a small
    // part of what the samples would cost a software renderer.
    void setSmoothEdges(bool smooth) { mSmoothEdges = smooth; }
    // Before setup. Off, a scene that would draw smaller to hold the frame rate where the GL is
    // slow draws every pixel of the view.
    void setAdaptiveScaleAllowed(bool allowed) { mAdaptiveScaleAllowed = allowed; }

  protected:
    float mLowStart;
    float mLowEnd;
    float mMidStart;
    float mMidEnd;
    float mHighStart;
    float mHighEnd;
    MonitorSpectralNodeRef mMonitor;
    std::vector<float>* mSpectrum;
    bool mWithPanels = true;
    bool mSmoothEdges = false;
    bool mAdaptiveScaleAllowed = true;
};

} // namespace mirvo
