// Input event records: the polymorphic base with the handled flag and the window the
// event belongs to, and the modifier flags key and mouse events share. Events are
// plain values created on the main thread for one emission.
#pragma once

#include <cstdint>
#include <memory>

namespace mirvo::app {

class Window;
using WindowRef = std::shared_ptr<Window>;

class Event {
  public:
    // Modifier flags; the button flags appear in mouse events only.
    static constexpr std::uint32_t LEFT_DOWN = 0x0001;
    static constexpr std::uint32_t RIGHT_DOWN = 0x0002;
    static constexpr std::uint32_t MIDDLE_DOWN = 0x0004;
    static constexpr std::uint32_t SHIFT_DOWN = 0x0008;
    static constexpr std::uint32_t ALT_DOWN = 0x0010;
    static constexpr std::uint32_t CTRL_DOWN = 0x0020;
    static constexpr std::uint32_t META_DOWN = 0x0040;

    Event() = default;
    explicit Event(WindowRef window) : mWindow(std::move(window)) {}
    virtual ~Event() = default;
    Event(const Event&) = default;
    Event& operator=(const Event&) = default;

    // A slot that handles the event keeps the remaining slots and the application's
    // own handler from seeing it.
    bool isHandled() const { return mHandled; }
    void setHandled(bool handled = true) { mHandled = handled; }

    const WindowRef& getWindow() const { return mWindow; }
    void setWindow(const WindowRef& window) { mWindow = window; }

  private:
    bool mHandled = false;
    WindowRef mWindow;
};

} // namespace mirvo::app
