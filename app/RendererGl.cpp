#include "app/RendererGl.h"

#include "app/Camera.h"
#include "app/RendererImplGl.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cassert>
#include <cstring>

namespace mirvo::app {

namespace {

constexpr int kSamplesPerLevel[] = {0, 2, 4, 6, 8, 16, 32};
constexpr float kWindowFovDegrees = 60.0f;

} // namespace

int RendererGl::samplesForLevel(int level)
{
    assert(level >= AA_NONE && level <= AA_MSAA_32 && "anti-aliasing level out of range");
    return kSamplesPerLevel[std::clamp(level, int(AA_NONE), int(AA_MSAA_32))];
}

RendererGl::RendererGl(int antiAliasing) : mAntiAliasing(antiAliasing)
{
    assert(antiAliasing >= AA_NONE && antiAliasing <= AA_MSAA_32 && "anti-aliasing level out of range");
}

RendererGl::~RendererGl() = default;

RendererRef RendererGl::clone() const
{
    auto copy = std::make_shared<RendererGl>(mAntiAliasing);
    copy->mApp = mApp;
    copy->mLevelForGl = mLevelForGl;
    return copy;
}

void RendererGl::setup(App* app, void* view, const RendererRef& sharedRenderer, bool highDensity)
{
    mApp = app;
    auto* shared = dynamic_cast<RendererGl*>(sharedRenderer.get());
    mImpl = makeRendererImplGl(*this, view, shared ? shared->mImpl.get() : nullptr, highDensity);
    // From here on the field holds what the context was granted rather than the level.
    mAntiAliasing = mImpl->getSamples();
}

void RendererGl::makeCurrentContext()
{
    if (mImpl) {
        mImpl->makeCurrentContext();
    }
}

void RendererGl::startDraw()
{
    makeCurrentContext();
}

void RendererGl::finishDraw()
{
    if (mImpl) {
        mImpl->swapBuffers();
    }
}

void RendererGl::setSwapInterval(int interval)
{
    if (mImpl) {
        mImpl->setSwapInterval(interval);
    }
}

void RendererGl::setFrameSize(int width, int height)
{
    if (mImpl) {
        mImpl->setFrameSize(width, height);
    }
}

void RendererGl::defaultResize()
{
    const Vec2i size = mImpl ? mImpl->getSize() : Vec2i();
    const Vec2i backing = mImpl ? mImpl->getBackingSize() : Vec2i();
    glViewport(0, 0, backing.x, backing.y);

    CameraPersp camera(size.x, size.y, kWindowFovDegrees);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(camera.getProjectionMatrix().data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(camera.getModelViewMatrix().data());
    glScalef(1.0f, -1.0f, 1.0f);
    glTranslatef(0.0f, -float(size.y), 0.0f);
}

Surface8u RendererGl::copyWindowSurface()
{
    Surface8u surface;
    if (!mImpl) {
        return surface;
    }
    makeCurrentContext();
    const Vec2i backing = mImpl->getBackingSize();
    surface.width = backing.x;
    surface.height = backing.y;
    surface.rgba.resize(std::size_t(backing.x) * std::size_t(backing.y) * 4);
    if (surface.rgba.empty()) {
        return surface;
    }

    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, backing.x, backing.y, GL_RGBA, GL_UNSIGNED_BYTE, surface.rgba.data());

    // GL's rows start at the bottom.
    const std::size_t rowBytes = std::size_t(backing.x) * 4;
    std::vector<std::uint8_t> row(rowBytes);
    for (int top = 0, bottom = backing.y - 1; top < bottom; ++top, --bottom) {
        std::uint8_t* topRow = surface.rgba.data() + std::size_t(top) * rowBytes;
        std::uint8_t* bottomRow = surface.rgba.data() + std::size_t(bottom) * rowBytes;
        std::memcpy(row.data(), topRow, rowBytes);
        std::memcpy(topRow, bottomRow, rowBytes);
        std::memcpy(bottomRow, row.data(), rowBytes);
    }
    return surface;
}

void* RendererGl::getNative() const
{
    return mImpl ? mImpl->getNative() : nullptr;
}

} // namespace mirvo::app
