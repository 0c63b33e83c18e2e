// A current GL context with no window on screen, for drawing into framebuffer objects. With a
// display it belongs to a hidden window; without one it is EGL on Mesa's surfaceless platform,
// so that a render needs no X server at all. Main thread only.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace mirvo::render {

// No GL context could be had; the message says why, in one line.
class NoGlError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class OffscreenContext {
  public:
    virtual ~OffscreenContext() = default;
    // How the context was made, for the render's first line ("hidden window", "EGL surfaceless").
    virtual std::string describe() const = 0;

    // A hidden window's context when DISPLAY names a display, else EGL surfaceless. Throws
    // NoGlError when neither gives a context.
    static std::unique_ptr<OffscreenContext> create();
};

// The two ways, each in the folder of the library it uses; both throw NoGlError.
std::unique_ptr<OffscreenContext> createHiddenWindowContext();
std::unique_ptr<OffscreenContext> createSurfacelessContext();

} // namespace mirvo::render
