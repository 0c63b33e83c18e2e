// Keeps the display from blanking while the application runs with power management
// off: resets the X11 screen saver. Does nothing where there is no X display.
#pragma once

namespace mirvo::app::glfw {

void keepDisplayAwake();

} // namespace mirvo::app::glfw
