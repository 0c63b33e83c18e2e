#include "gl/SoftwareRenderer.h"

#include "gl/Gl.h"

namespace mirvo::gl {

bool isSoftwareRenderer(std::string_view glRenderer)
{
    for (std::string_view name : {"llvmpipe", "softpipe", "SWR", "software", "Software"}) {
        if (glRenderer.find(name) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

bool isSoftwareRenderer()
{
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return renderer != nullptr && isSoftwareRenderer(renderer);
}

} // namespace mirvo::gl
