#include "app/glfw/RendererImplGlfw.h"

#include "app/AppBasic.h"
#include "app/RendererGl.h"
#include "app/glfw/GlfwErrors.h"

#include <epoxy/gl.h>

#include <GLFW/glfw3.h>

#include <cassert>
#include <vector>

namespace mirvo::app {

std::unique_ptr<RendererImplGl> makeRendererImplGl(RendererGl& renderer, void* view, RendererImplGl* shared,
                                                   bool highDensity)
{
    assert(view && "the GLFW renderer needs the window layer's view request");
    const auto& request = *static_cast<const glfw::ViewRequest*>(view);
    const int level = renderer.getAntiAliasing();
    std::function<int(std::string_view)> samplesForGl;
    if (const RendererGl::LevelForGl& levelForGl = renderer.getLevelForGl()) {
        samplesForGl = [levelForGl, level](std::string_view glRenderer) {
            return RendererGl::samplesForLevel(levelForGl(glRenderer, level));
        };
    }
    return std::make_unique<glfw::RendererImplGlfw>(request, static_cast<glfw::RendererImplGlfw*>(shared),
                                                    RendererGl::samplesForLevel(level), samplesForGl);
}

namespace glfw {

namespace {

// The sample counts to try, from the one asked for down to none.
std::vector<int> sampleCandidates(int requested)
{
    std::vector<int> candidates;
    for (int level = RendererGl::AA_MSAA_32; level > RendererGl::AA_NONE; --level) {
        const int samples = RendererGl::samplesForLevel(level);
        if (samples <= requested) {
            candidates.push_back(samples);
        }
    }
    candidates.push_back(0);
    return candidates;
}

void setContextHints(const ViewRequest& request, int samples)
{
    glfwDefaultWindowHints();
    // 2.1 or later in the compatibility profile: the fixed-function matrix stack and
    // client arrays live next to buffer objects and GLSL programs.
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 2);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_ANY_PROFILE);
    glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
    glfwWindowHint(GLFW_DEPTH_BITS, 24);
    // Nothing draws with a stencil. Without one, a software renderer clears depth with a plain
    // fill instead of a read-modify-write that keeps the stencil bits: a third of a simple
    // scene's frame on two cores.
    glfwWindowHint(GLFW_STENCIL_BITS, 0);
    glfwWindowHint(GLFW_SAMPLES, samples);
    glfwWindowHint(GLFW_RESIZABLE, request.resizable ? GLFW_TRUE : GLFW_FALSE);
    glfwWindowHint(GLFW_DECORATED, request.borderless ? GLFW_FALSE : GLFW_TRUE);
    glfwWindowHint(GLFW_FLOATING, request.alwaysOnTop ? GLFW_TRUE : GLFW_FALSE);
    // The window layer positions the window before showing it.
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    // A kiosk window stays up when another window takes the focus.
    glfwWindowHint(GLFW_AUTO_ICONIFY, GLFW_FALSE);
}

} // namespace

RendererImplGlfw::RendererImplGlfw(const ViewRequest& request, RendererImplGlfw* shared, int requestedSamples,
                                   const std::function<int(std::string_view)>& samplesForGl)
{
    GLFWwindow* share = shared ? shared->mWindow : nullptr;
    createWindow(request, share, requestedSamples);
    if (samplesForGl && mSamples > 0) {
        // Which GL this is shows only once a context exists; the window has not shown yet, so
        // making it again with fewer samples costs a context and nothing a person sees.
        const auto* glRenderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        const int wanted = samplesForGl(glRenderer ? glRenderer : "");
        if (wanted < mSamples) {
            glfwMakeContextCurrent(nullptr);
            glfwDestroyWindow(mWindow);
            mWindow = nullptr;
            createWindow(request, share, wanted);
        }
    }
    glfwSwapInterval(1);
}

void RendererImplGlfw::createWindow(const ViewRequest& request, GLFWwindow* share, int requestedSamples)
{
    for (int samples : sampleCandidates(requestedSamples)) {
        setContextHints(request, samples);
        mWindow = glfwCreateWindow(request.size.x, request.size.y, request.title.c_str(), nullptr, share);
        if (mWindow) {
            break;
        }
    }
    if (!mWindow) {
        throw ExcNoDisplay(noDisplayMessage("Unable to allocate GL view"));
    }
    glfwMakeContextCurrent(mWindow);
    GLint granted = 0;
    glGetIntegerv(GL_SAMPLES, &granted);
    mSamples = granted;
}

RendererImplGlfw::~RendererImplGlfw() = default;

void RendererImplGlfw::makeCurrentContext()
{
    if (mWindow && glfwGetCurrentContext() != mWindow) {
        glfwMakeContextCurrent(mWindow);
    }
}

void RendererImplGlfw::swapBuffers()
{
    if (mWindow) {
        glfwSwapBuffers(mWindow);
    }
}

void RendererImplGlfw::setFrameSize(int width, int height)
{
    // The GL surface follows the window under GLFW; nothing to resize separately.
}

Vec2i RendererImplGlfw::getSize() const
{
    Vec2i size;
    if (mWindow) {
        glfwGetWindowSize(mWindow, &size.x, &size.y);
    }
    return size;
}

Vec2i RendererImplGlfw::getBackingSize() const
{
    Vec2i size;
    if (mWindow) {
        glfwGetFramebufferSize(mWindow, &size.x, &size.y);
    }
    return size;
}

void RendererImplGlfw::setSwapInterval(int interval)
{
    if (!mWindow) {
        return;
    }
    makeCurrentContext();
    glfwSwapInterval(interval);
}

} // namespace glfw
} // namespace mirvo::app
