// EGL on Mesa's surfaceless platform: a context made current with no surface at all, which
// draws only into framebuffer objects. libepoxy resolves the EGL entry points, and resolves GL
// through EGL once this context is current.
#include "src/render/OffscreenContext.h"

#include <epoxy/egl.h>

#include <string>

namespace mirvo::render {

namespace {

class SurfacelessContext : public OffscreenContext {
  public:
    SurfacelessContext()
    {
        if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless")) {
            throw NoGlError("no GL: EGL has no surfaceless platform (Mesa's libegl-mesa0 is needed)");
        }
        mDisplay = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major = 0;
        EGLint minor = 0;
        if (mDisplay == EGL_NO_DISPLAY || eglInitialize(mDisplay, &major, &minor) != EGL_TRUE) {
            throw NoGlError("no GL: the surfaceless EGL display does not initialise");
        }
        if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
            eglTerminate(mDisplay);
            throw NoGlError("no GL: EGL offers no desktop OpenGL");
        }
        const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                           EGL_PBUFFER_BIT,
                                           EGL_RENDERABLE_TYPE,
                                           EGL_OPENGL_BIT,
                                           EGL_RED_SIZE,
                                           8,
                                           EGL_GREEN_SIZE,
                                           8,
                                           EGL_BLUE_SIZE,
                                           8,
                                           EGL_NONE};
        EGLConfig config = nullptr;
        EGLint numConfigs = 0;
        const bool haveConfig =
            eglChooseConfig(mDisplay, configAttributes, &config, 1, &numConfigs) == EGL_TRUE &&
            numConfigs > 0;
        // The scenes use the fixed-function pipeline: a compatibility context, as the window has.
        const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                            EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        mContext = eglCreateContext(mDisplay, haveConfig ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT,
                                    contextAttributes);
        if (mContext == EGL_NO_CONTEXT ||
            eglMakeCurrent(mDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, mContext) != EGL_TRUE) {
            const EGLint error = eglGetError();
            if (mContext != EGL_NO_CONTEXT) {
                eglDestroyContext(mDisplay, mContext);
            }
            eglTerminate(mDisplay);
            throw NoGlError("no GL: no surfaceless EGL context (EGL error " + std::to_string(error) + ")");
        }
    }

    ~SurfacelessContext() override
    {
        eglMakeCurrent(mDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(mDisplay, mContext);
        eglTerminate(mDisplay);
    }

    std::string describe() const override { return "EGL surfaceless"; }

  private:
    EGLDisplay mDisplay = EGL_NO_DISPLAY;
    EGLContext mContext = EGL_NO_CONTEXT;
};

} // namespace

std::unique_ptr<OffscreenContext> createSurfacelessContext()
{
    return std::make_unique<SurfacelessContext>();
}

} // namespace mirvo::render
