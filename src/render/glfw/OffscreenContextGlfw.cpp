// A hidden GLFW window, kept only for its GL context: the render draws into framebuffer
// objects and never shows or swaps it. The renderer runs without the application framework,
// so it initialises and ends GLFW itself.
#include "src/render/OffscreenContext.h"

#include <GLFW/glfw3.h>

#include <string>

namespace mirvo::render {

namespace {

class HiddenWindowContext : public OffscreenContext {
  public:
    HiddenWindowContext()
    {
        if (glfwInit() != GLFW_TRUE) {
            throw NoGlError("no GL: the display does not open (" + lastError() + ")");
        }
        glfwDefaultWindowHints();
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
        mWindow = glfwCreateWindow(16, 16, "mirvo render", nullptr, nullptr);
        if (mWindow == nullptr) {
            const std::string reason = lastError();
            glfwTerminate();
            throw NoGlError("no GL: no hidden window (" + reason + ")");
        }
        glfwMakeContextCurrent(mWindow);
    }

    ~HiddenWindowContext() override
    {
        glfwDestroyWindow(mWindow);
        glfwTerminate();
    }

    std::string describe() const override { return "hidden window"; }

  private:
    static std::string lastError()
    {
        const char* description = nullptr;
        glfwGetError(&description);
        return description != nullptr ? description : "no reason given";
    }

    GLFWwindow* mWindow = nullptr;
};

} // namespace

std::unique_ptr<OffscreenContext> createHiddenWindowContext()
{
    return std::make_unique<HiddenWindowContext>();
}

} // namespace mirvo::render
