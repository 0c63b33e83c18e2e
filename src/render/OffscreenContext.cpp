#include "src/render/OffscreenContext.h"

#include <cstdlib>

namespace mirvo::render {

std::unique_ptr<OffscreenContext> OffscreenContext::create()
{
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return createSurfacelessContext();
    }
    try {
        return createHiddenWindowContext();
    } catch (const NoGlError& windowError) {
        // A display that refuses a window (gone, or no GLX) need not stop a render that can
        // run without one.
        try {
            return createSurfacelessContext();
        } catch (const NoGlError&) {
            throw windowError;
        }
    }
}

} // namespace mirvo::render
