// Whether the GL rasterises on the CPU: the renderer then spares it multisampling, and a
// window's run says when such a GL cannot hold the frame rate. Any thread.
#pragma once

#include <string_view>

namespace mirvo {

// True for a GL_RENDERER string of a renderer that rasterises on the CPU.
bool isSoftwareRenderer(std::string_view glRenderer);

} // namespace mirvo
