// Counts the textures alive in the current context's share group among the first names GL
// hands out, which is where a test's few textures are: a panel drawer's GL objects are its
// font texture, so this tells whether the panel layer has freed them.
#pragma once

#include "gl/Gl.h"

namespace mirvo::params::test {

inline int liveTextureCount()
{
    int count = 0;
    for (GLuint name = 1; name <= 512; ++name) {
        if (glIsTexture(name) == GL_TRUE) {
            ++count;
        }
    }
    return count;
}

} // namespace mirvo::params::test
