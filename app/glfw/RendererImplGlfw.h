// The GL context of a window. Under GLFW a window and its context are one object, so
// the renderer's platform side creates the native window from the view request the
// window layer hands it, and the window layer adopts it. Main thread only.
#pragma once

#include "app/RendererImplGl.h"

#include "core/Vec.h"

#include <functional>
#include <string>
#include <string_view>

struct GLFWwindow;

namespace mirvo::app::glfw {

// What the window layer asks for; passed to Renderer::setup as the view.
struct ViewRequest {
    Vec2i size{640, 480};
    std::string title;
    bool resizable = true;
    bool borderless = false;
    bool alwaysOnTop = false;
};

class RendererImplGlfw : public RendererImplGl {
  public:
    // samplesForGl, where given, tells from the GL's name how many samples it should have.
    RendererImplGlfw(const ViewRequest& request, RendererImplGlfw* shared, int requestedSamples,
                     const std::function<int(std::string_view)>& samplesForGl = {});
    ~RendererImplGlfw() override;

    void makeCurrentContext() override;
    void swapBuffers() override;
    void setFrameSize(int width, int height) override;
    Vec2i getSize() const override;
    Vec2i getBackingSize() const override;
    int getSamples() const override { return mSamples; }
    void* getNative() const override { return mWindow; }
    void setSwapInterval(int interval) override;

    GLFWwindow* getWindow() const { return mWindow; }
    // The window layer destroys the native window; the renderer then draws to nothing.
    void detach() { mWindow = nullptr; }

  private:
    void createWindow(const ViewRequest& request, GLFWwindow* share, int requestedSamples);

    GLFWwindow* mWindow = nullptr;
    int mSamples = 0;
};

} // namespace mirvo::app::glfw
