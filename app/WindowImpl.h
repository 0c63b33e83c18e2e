// The platform side of a window, behind which the GLFW layer (or a test double) sits.
// Window forwards every operation here after its validity check. Main thread only.
#pragma once

#include "app/Display.h"
#include "app/FullScreenOptions.h"

#include "core/Vec.h"

#include <memory>
#include <string>

namespace mirvo::app {

class Renderer;
using RendererRef = std::shared_ptr<Renderer>;

class WindowImpl {
  public:
    virtual ~WindowImpl() = default;

    virtual Vec2i getSize() const = 0;
    virtual void setSize(Vec2i size) = 0;
    virtual Vec2i getPos() const = 0;
    virtual void setPos(Vec2i pos) = 0;
    virtual std::string getTitle() const = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual bool isFullScreen() const = 0;
    virtual void setFullScreen(bool fullScreen, const FullScreenOptions& options) = 0;
    virtual bool isBorderless() const = 0;
    virtual void setBorderless(bool borderless) = 0;
    virtual bool isAlwaysOnTop() const = 0;
    virtual void setAlwaysOnTop(bool alwaysOnTop) = 0;
    virtual void hide() = 0;
    virtual void show() = 0;
    virtual bool isHidden() const = 0;
    virtual void close() = 0;
    virtual DisplayRef getDisplay() const = 0;
    virtual RendererRef getRenderer() const = 0;
    virtual float getContentScale() const = 0;
    virtual float getFramebufferScale() const = 0;
    virtual void* getNative() const = 0;
};

} // namespace mirvo::app
