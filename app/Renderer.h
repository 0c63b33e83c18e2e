// The abstract renderer a window draws through. The application keeps one prototype;
// every window gets its own clone, attached to that window's view by setup. Main
// thread only.
#pragma once

#include "app/Surface.h"

#include <memory>

namespace mirvo::app {

class App;
class Renderer;
using RendererRef = std::shared_ptr<Renderer>;

class Renderer {
  public:
    virtual ~Renderer() = default;

    // A fresh renderer with the same settings, attached to nothing.
    virtual RendererRef clone() const = 0;
    // Attaches the renderer to a platform view. The view is the platform layer's own
    // description of the surface; the shared renderer, when of the same kind, shares
    // its GL objects with this one.
    virtual void setup(App* app, void* view, const RendererRef& sharedRenderer, bool highDensity) = 0;
    virtual void makeCurrentContext() = 0;
    virtual void startDraw() = 0;
    virtual void finishDraw() = 0;
    virtual void setFrameSize(int width, int height) = 0;
    virtual void defaultResize() = 0;
    // The back buffer as drawn so far; call it before finishDraw swaps.
    virtual Surface8u copyWindowSurface() = 0;
    // The platform's window or context handle.
    virtual void* getNative() const = 0;

  protected:
    Renderer() = default;
    Renderer(const Renderer&) = default;
    Renderer& operator=(const Renderer&) = default;
};

} // namespace mirvo::app
