// The OpenGL renderer: a compatibility-profile context with double buffering, 24-bit
// depth and multisampling chosen from an anti-aliasing level; it sets the default
// projection on every resize. One per window; main thread only.
#pragma once

#include "app/Renderer.h"

#include <functional>
#include <memory>
#include <string_view>

namespace mirvo::app {

class RendererImplGl;
class RendererGl;
using RendererGlRef = std::shared_ptr<RendererGl>;

class RendererGl : public Renderer {
  public:
    enum AntiAliasing { AA_NONE = 0, AA_MSAA_2, AA_MSAA_4, AA_MSAA_6, AA_MSAA_8, AA_MSAA_16, AA_MSAA_32 };

    // The multisample count an anti-aliasing level asks for (0 for none).
    static int samplesForLevel(int level);

    explicit RendererGl(int antiAliasing = AA_MSAA_16);
    ~RendererGl() override;

    static RendererGlRef create(int antiAliasing = AA_MSAA_16)
    {
        return std::make_shared<RendererGl>(antiAliasing);
    }

    RendererRef clone() const override;
    void setup(App* app, void* view, const RendererRef& sharedRenderer, bool highDensity) override;
    void makeCurrentContext() override;
    void startDraw() override;
    void finishDraw() override;
    void setFrameSize(int width, int height) override;
    // Viewport over the whole view and the window camera's matrices, flipped so that one
    // unit is one point, the origin is the top-left corner and y grows downward.
    void defaultResize() override;
    Surface8u copyWindowSurface() override;
    void* getNative() const override;

    // The level for the GL a context turns out to have (its GL_RENDERER), given the level asked
    // for: asked once, before the window shows, and a level with fewer samples than the context
    // has makes it again with that many. Without one the level asked for stands.
    using LevelForGl = std::function<int(std::string_view glRenderer, int level)>;
    void setLevelForGl(LevelForGl levelForGl) { mLevelForGl = std::move(levelForGl); }
    const LevelForGl& getLevelForGl() const { return mLevelForGl; }

    // Swaps wait for this many display refreshes; setup makes it 1. Measuring the frame
    // timer alone (a virtual display has no refresh to wait for) wants 0.
    void setSwapInterval(int interval);

    // The level before setup; after it, the number of samples actually granted.
    int getAntiAliasing() const { return mAntiAliasing; }
    App* getApp() const { return mApp; }
    RendererImplGl* getImpl() const { return mImpl.get(); }

  private:
    App* mApp = nullptr;
    int mAntiAliasing;
    LevelForGl mLevelForGl;
    std::unique_ptr<RendererImplGl> mImpl;
};

} // namespace mirvo::app
