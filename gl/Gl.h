// The one way into OpenGL for Mirvo's code: compatibility-profile entry points through
// libepoxy. Callers (scenes, the controller, the renderer) include this rather than a
// system GL header so that every entry point resolves the same way.
#pragma once

#include <epoxy/gl.h>
