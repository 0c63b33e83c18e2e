#include "src/render/SoftwareRenderer.h"

namespace mirvo {

bool isSoftwareRenderer(std::string_view glRenderer)
{
    for (std::string_view name : {"llvmpipe", "softpipe", "SWR", "software", "Software"}) {
        if (glRenderer.find(name) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

} // namespace mirvo
