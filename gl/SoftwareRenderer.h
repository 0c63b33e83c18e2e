// Whether the GL rasterises on the CPU: the renderer then spares it multisampling, the galaxy adds
// its stars up itself, and a window's run says when such a GL cannot hold the frame rate.
#pragma once

#include <string_view>

namespace mirvo::gl {

// True for a GL_RENDERER string of a renderer that rasterises on the CPU. Any thread.
bool isSoftwareRenderer(std::string_view glRenderer);
// The same for the current context's GL; false without one. Its thread.
bool isSoftwareRenderer();

} // namespace mirvo::gl
