// What a frame shows, in the window and in a rendered video alike: the scene set, the spectrum
// every scene reads (taken from the monitor, then shaped by the "Spectrum" panel's values in
// place), and the spectrum overlay over the scene. The window's controller and the offline
// renderer each own one; neither needs the other. Main thread (the renderer's thread offline).
#pragma once

#include "core/Path2d.h"
#include "core/Vec.h"
#include "src/scenes/SceneSet.h"
#include "src/scenes/Visualizer.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace mirvo::audio {
class Context;
} // namespace mirvo::audio

namespace mirvo::params {
class InterfaceGl;
} // namespace mirvo::params

namespace mirvo {

class Stage {
  public:
    // The gain the music passes through on its way to the monitor.
    static constexpr float kAnalysisGain = 10.9f;
    // The analysis end of a music graph in `context`: the monitor every scene reads.
    static MonitorSpectralNodeRef makeSpectrumMonitor(audio::Context& context);

    // Binds the six values to `panel`, in the panel's order.
    void bindPanel(params::InterfaceGl& panel);

    // The monitor the spectrum is taken from.
    void setMonitor(MonitorSpectralNodeRef monitor) { mMonitor = std::move(monitor); }
    const MonitorSpectralNodeRef& getMonitor() const { return mMonitor; }

    // The three scenes of every run, named "galaxy", "tree" and "triangles", reading this
    // stage's spectrum. Offscreen: without panels, and with `smoothEdges` drawing their own
    // smooth edges. `viewHeight` is the height the tree grows into.
    void addStandardScenes(std::function<float()> viewHeight, bool offscreen = false,
                           bool smoothEdges = false);

    SceneSet& getScenes() { return mScenes; }
    // The spectrum of the current frame; the scenes read it in place.
    std::vector<float>& getSpectrum() { return mSpectrum; }
    const std::vector<float>& getSpectrum() const { return mSpectrum; }

    // The left button's pointer, for the scene shown (a shader's iMouse follows it): positions
    // in the window's points, handed on as fractions of the window.
    void pointerPressed(Vec2i at, Vec2i window);
    void pointerDragged(Vec2i at, Vec2i window);
    void pointerReleased() { mScenes.getCurrent().pointerReleased(); }

    // The monitor's spectrum: its own read, or the window that ends at frame `end` of the music.
    void takeSpectrum();
    void takeSpectrumEndingAt(uint64_t end);
    // The gain ramp and the clamp, in place.
    void shapeSpectrum();
    bool isOverlayShown() const { return mDisplaySpectrum; }
    void setOverlayShown(bool shown) { mDisplaySpectrum = shown; }
    // Rebuilds the overlay's line for a view of `size`, while the overlay is shown.
    void updateOverlay(Vec2i size);
    // The black clear, left out when the current scene clears the whole frame itself.
    void clear();
    // The current scene with the origin at the centre of a view of `size`.
    void drawScene(Vec2i size);
    // The markers and the line, while the overlay is shown.
    void drawOverlay(Vec2i size);

    // A rendered frame, for the offline renderer: a step of exactly `deltaSeconds` on the
    // spectrum taken, and the frame drawn into the bound framebuffer of `size`.
    void advance(float deltaSeconds, Vec2i size);
    void drawFrame(Vec2i size);

  private:
    // The values the "Spectrum" panel edits.
    float mVisualGain = 50.0f;
    float mRampStart = 0.05f;
    float mRampEnd = 1.0f;
    bool mDisplaySpectrum = false;
    int32_t mStartIdx = 1;
    int32_t mEndIdx = 511;
    MonitorSpectralNodeRef mMonitor;
    SceneSet mScenes;
    std::vector<float> mSpectrum;
    Path2d mSpectrumPath;
};

} // namespace mirvo
