#include "app/glfw/GlfwErrors.h"

#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstring>

namespace mirvo::app::glfw {

namespace {

// GLFW's error callback carries no user pointer, so the description goes to a plain
// buffer (trivially constructed, main thread only).
char sLastError[512];

void onError(int code, const char* description)
{
    std::snprintf(sLastError, sizeof(sLastError), "%s (GLFW error 0x%x)", description ? description : "",
                  unsigned(code));
}

} // namespace

void installErrorCallback()
{
    glfwSetErrorCallback(onError);
}

std::string lastError()
{
    return sLastError;
}

void clearLastError()
{
    sLastError[0] = '\0';
}

std::string noDisplayMessage(const std::string& what)
{
    std::string message = what;
    const std::string detail = lastError();
    if (!detail.empty()) {
        message += ": " + detail;
    }
    message +=
        "; no display is reachable: set DISPLAY (X11) or WAYLAND_DISPLAY (Wayland) to a running desktop";
    return message;
}

} // namespace mirvo::app::glfw
