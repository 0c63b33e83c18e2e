// The platform side of RendererGl: the GL context on a window's view. The platform
// layer defines makeRendererImplGl; everything here runs on the main thread.
#pragma once

#include "core/Vec.h"

#include <memory>

namespace mirvo::app {

class RendererGl;

class RendererImplGl {
  public:
    virtual ~RendererImplGl() = default;

    virtual void makeCurrentContext() = 0;
    virtual void swapBuffers() = 0;
    virtual void setFrameSize(int width, int height) = 0;
    // The view's size in points and in backing pixels; 0 x 0 without a view.
    virtual Vec2i getSize() const = 0;
    virtual Vec2i getBackingSize() const = 0;
    // Multisample count the context actually has.
    virtual int getSamples() const = 0;
    virtual void setSwapInterval(int interval) = 0;
    virtual void* getNative() const = 0;
};

// Creates the context for a renderer on a platform view; `shared` (may be null) is the
// context to share GL objects with. Throws mirvo::Exception when no context can be made.
std::unique_ptr<RendererImplGl> makeRendererImplGl(RendererGl& renderer, void* view, RendererImplGl* shared,
                                                   bool highDensity);

} // namespace mirvo::app
