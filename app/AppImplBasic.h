// The platform side of AppBasic: event loop, frame timer, windows, cursor, keep-awake.
// The GLFW layer defines makeAppImplBasic. Main thread only.
#pragma once

#include "app/Display.h"
#include "app/Window.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace mirvo::app {

class AppBasic;

class AppImplBasic {
  public:
    virtual ~AppImplBasic() = default;

    // Opens the start-up windows, runs setup and the frames, and returns once the
    // application has terminated (windows closed, shutdown signal, shutdown()).
    virtual void run() = 0;
    virtual WindowRef createWindow(const Window::Format& format) = 0;
    virtual WindowRef getWindow() const = 0;
    virtual std::size_t getNumWindows() const = 0;
    virtual WindowRef getWindowIndex(std::size_t index) const = 0;
    virtual WindowRef getForegroundWindow() const = 0;
    virtual float getFrameRate() const = 0;
    virtual void setFrameRate(float frameRate) = 0;
    virtual void disableFrameRate() = 0;
    virtual bool isFrameRateEnabled() const = 0;
    // Asks the should-quit query; on yes the loop ends after the current frame.
    virtual void quit() = 0;
    virtual void hideCursor() = 0;
    virtual void showCursor() = 0;
    virtual DisplayRef getMainDisplay() const = 0;
    virtual std::vector<DisplayRef> getDisplays() const = 0;
};

// Initialises the platform; throws ExcNoDisplay when there is no display to open.
std::unique_ptr<AppImplBasic> makeAppImplBasic(AppBasic& app);

} // namespace mirvo::app
