// A window with no platform behind it: a fixed size, no renderer, every request accepted and
// ignored. Event emission through a Window can be exercised on it without a display.
#pragma once

#include "app/WindowImpl.h"

namespace mirvo::app {

class WindowImplNull : public WindowImpl {
  public:
    explicit WindowImplNull(Vec2i size = {640, 480}) : mSize(size) {}

    Vec2i getSize() const override { return mSize; }
    void setSize(Vec2i size) override { mSize = size; }
    Vec2i getPos() const override { return {}; }
    void setPos(Vec2i) override {}
    std::string getTitle() const override { return {}; }
    void setTitle(const std::string&) override {}
    bool isFullScreen() const override { return false; }
    void setFullScreen(bool, const FullScreenOptions&) override {}
    bool isBorderless() const override { return false; }
    void setBorderless(bool) override {}
    bool isAlwaysOnTop() const override { return false; }
    void setAlwaysOnTop(bool) override {}
    void hide() override {}
    void show() override {}
    bool isHidden() const override { return false; }
    void close() override {}
    DisplayRef getDisplay() const override { return {}; }
    RendererRef getRenderer() const override { return {}; }
    float getContentScale() const override { return 1.0f; }
    float getFramebufferScale() const override { return 1.0f; }
    void* getNative() const override { return nullptr; }

  private:
    Vec2i mSize;
};

} // namespace mirvo::app
