// Translation of GLFW key tokens to the application's key codes (SDL 1.2 key symbol
// values). The table is built on first use and read-only afterwards.
#pragma once

#include <cstddef>

namespace mirvo::app::glfw {

// The key code for a GLFW key token; 0 for a token the table does not hold.
int translateKey(int glfwKey);
// Number of GLFW key tokens the table translates.
std::size_t keyTableSize();

} // namespace mirvo::app::glfw
