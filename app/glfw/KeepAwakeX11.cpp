#include "app/glfw/KeepAwakeX11.h"

#include <GLFW/glfw3.h>
#define GLFW_EXPOSE_NATIVE_X11
#include <GLFW/glfw3native.h>

namespace mirvo::app::glfw {

void keepDisplayAwake()
{
    ::Display* display = glfwGetX11Display();
    if (!display) {
        return;
    }
    XResetScreenSaver(display);
    XFlush(display);
}

} // namespace mirvo::app::glfw
