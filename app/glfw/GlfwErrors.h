// GLFW reports errors through a process-wide callback. The callback keeps the latest
// description so that a failure becomes one line of text in an exception rather than
// a stream of messages on the terminal.
#pragma once

#include <string>

namespace mirvo::app::glfw {

// Installs the error callback; safe to call more than once.
void installErrorCallback();
// The description of the latest GLFW error, empty when none since the last clear.
std::string lastError();
void clearLastError();
// The one line to show when no display can be opened, naming what to set.
std::string noDisplayMessage(const std::string& what);

} // namespace mirvo::app::glfw
