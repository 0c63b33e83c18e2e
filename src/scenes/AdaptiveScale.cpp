// The adaptive scale's controller and its offscreen target.
#include "src/scenes/AdaptiveScale.h"

#include "gl/Draw.h"
#include "params/InterfaceGl.h"

#include <algorithm>
#include <cmath>

namespace mirvo {

namespace {

// The frame times the scale holds: above the slow one it drops, below the fast one there is room
// to rise. The fast one is above a window's 80 frames a second, which a frame never beats.
constexpr float kSlowFrame = 1.0f / 60.0f;
constexpr float kFastFrame = 1.0f / 72.0f;

} // namespace

AdaptiveScale::~AdaptiveScale()
{
    releaseTarget();
}

void AdaptiveScale::setLimit(float limit)
{
    mLimit = std::clamp(limit, kMinScale, 1.0f);
    mScale = std::min(mScale, mLimit);
}

void AdaptiveScale::follow(float dt)
{
    follow(dt, dt, kSlowFrame, kFastFrame);
}

void AdaptiveScale::followCost(float dt, float costSeconds, float budgetSeconds)
{
    // Room to rise is well under the budget, so that one step up does not go straight over it.
    follow(dt, costSeconds, budgetSeconds, budgetSeconds * 0.6f);
}

void AdaptiveScale::follow(float dt, float cost, float slow, float fast)
{
    mLimit = std::clamp(mLimit, kMinScale, 1.0f);
    if (!mFollowing) {
        mScale = mLimit;
        return;
    }
    // A stall (a file dialog, a suspended laptop) says nothing about the drawing.
    if (dt <= 0.0f || dt > 0.5f || cost < 0.0f || cost > 0.5f) {
        return;
    }
    mSmoothedCost = mSmoothedCost == 0.0f ? cost : mSmoothedCost * 0.9f + cost * 0.1f;
    // A change shows in the costs a frame or two late: let the average take it in first.
    if (mHoldFrames > 0) {
        --mHoldFrames;
    } else if (mSmoothedCost > slow && mScale > kMinScale) {
        mScale = std::max(kMinScale, mScale * 0.85f);
        mHoldFrames = 8;
        mRoomSeconds = 0.0f;
    } else if (mSmoothedCost < fast) {
        mRoomSeconds += dt;
        // Up slowly, after a second of room each time, so that the scale does not swing.
        if (mRoomSeconds > 1.0f) {
            mScale = std::min(mLimit, mScale * 1.1f);
            mHoldFrames = 8;
            mRoomSeconds = 0.0f;
        }
    } else {
        mRoomSeconds = 0.0f;
    }
    mScale = std::min(mScale, mLimit);
}

void AdaptiveScale::addTo(params::InterfaceGl& panel)
{
    panel.addParam("Resolution Scale", &mLimit, "min=0.25 max=1 step=0.05", false);
    panel.addParam("Adaptive Scale", &mFollowing, "", false);
    panel.addParam("Drawn Scale", &mScale, "", true);
}

bool AdaptiveScale::prepareTarget(Vec2i size)
{
    if (mFramebuffer != 0 && mTargetSize == size) {
        return true;
    }
    releaseTarget();
    mTargetTexture = gl::makeSmoothTexture();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size.x, size.y, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffers(1, &mFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, mTargetTexture, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    mTargetSize = size;
    if (!complete) {
        releaseTarget();
    }
    return complete;
}

void AdaptiveScale::releaseTarget()
{
    if (mFramebuffer != 0) {
        glDeleteFramebuffers(1, &mFramebuffer);
        mFramebuffer = 0;
    }
    if (mTargetTexture != 0) {
        glDeleteTextures(1, &mTargetTexture);
        mTargetTexture = 0;
    }
    mTargetSize = Vec2i(0, 0);
}

Vec2i AdaptiveScale::scaledSize(Vec2i full) const
{
    const float scale = getScale();
    return Vec2i(std::max(1, static_cast<int>(std::lround(static_cast<float>(full.x) * scale))),
                 std::max(1, static_cast<int>(std::lround(static_cast<float>(full.y) * scale))));
}

Vec2i AdaptiveScale::begin(bool clear)
{
    glGetIntegerv(GL_VIEWPORT, mViewport.data());
    const Vec2i full(mViewport[2], mViewport[3]);
    const Vec2i scaled = scaledSize(full);
    mToTarget = false;
    mDrawnShare = 1.0f;
    if (scaled == full || !gl::hasFramebuffers()) {
        return full;
    }
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &mPreviousFramebuffer);
    mToTarget = prepareTarget(scaled);
    if (!mToTarget) {
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(mPreviousFramebuffer));
        return full;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
    glViewport(0, 0, scaled.x, scaled.y);
    mDrawnShare = static_cast<float>(scaled.x) / static_cast<float>(std::max(1, full.x));
    if (clear) {
        glClear(GL_COLOR_BUFFER_BIT);
    }
    return scaled;
}

void AdaptiveScale::end()
{
    if (!mToTarget) {
        return;
    }
    mToTarget = false;
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(mPreviousFramebuffer));
    glViewport(mViewport[0], mViewport[1], mViewport[2], mViewport[3]);
    gl::drawTextureCoveringView(mTargetTexture);
}

} // namespace mirvo
