// How a window goes full screen. Kiosk mode covers the display with a borderless
// window at its current video mode and leaves every other display alone.
#pragma once

#include "app/Display.h"

namespace mirvo::app {

class FullScreenOptions {
  public:
    FullScreenOptions() = default;

    FullScreenOptions& display(DisplayRef display)
    {
        mDisplay = std::move(display);
        return *this;
    }
    FullScreenOptions& kioskMode(bool enable = true)
    {
        mKioskMode = enable;
        return *this;
    }
    FullScreenOptions& secondaryDisplayBlanking(bool enable = true)
    {
        mSecondaryDisplayBlanking = enable;
        return *this;
    }
    FullScreenOptions& exclusive(bool enable = true)
    {
        mExclusive = enable;
        return *this;
    }

    // Empty: the window's own display.
    const DisplayRef& getDisplay() const { return mDisplay; }
    bool isKioskModeEnabled() const { return mKioskMode; }
    bool isSecondaryDisplayBlankingEnabled() const { return mSecondaryDisplayBlanking; }
    bool isExclusive() const { return mExclusive; }

  private:
    DisplayRef mDisplay;
    bool mKioskMode = true;
    bool mSecondaryDisplayBlanking = false;
    bool mExclusive = false;
};

} // namespace mirvo::app
