// Holds a scene's frame rate where the GL is slow. A scene whose cost grows with its pixels (a
// fragment shader, a field of large sprites) draws into a smaller offscreen target whose share of
// each side follows the frame times, and the target is scaled up to the view. Main thread only,
// with the GL context current.
#pragma once

#include "core/Vec.h"
#include "gl/Gl.h"

#include <array>
#include <memory>

namespace mirvo::params {
class InterfaceGl;
} // namespace mirvo::params

namespace mirvo {

class AdaptiveScale {
  public:
    static constexpr float kMinScale = 0.25f;

    AdaptiveScale() = default;
    ~AdaptiveScale();
    AdaptiveScale(const AdaptiveScale&) = delete;
    AdaptiveScale& operator=(const AdaptiveScale&) = delete;

    // The most of each side drawn, from kMinScale to 1: the person's cap.
    void setLimit(float limit);
    float getLimit() const { return mLimit; }
    // Off, the drawn scale is the limit whatever the frame rate.
    void setFollowing(bool following) { mFollowing = following; }
    bool isFollowing() const { return mFollowing; }
    // A render to video has no clock to keep up with: it always draws the whole frame.
    void setFullSizeOnly() { mFullSizeOnly = true; }

    // After each frame, with the time since the last one in seconds: the frame rate is held.
    void follow(float dt);
    // After each frame, with the time since the last one and what the drawing itself cost, in
    // seconds: the cost is held under the budget. For drawing done on the CPU, whose frames
    // come in time while it takes the cores from everything else.
    void followCost(float dt, float costSeconds, float budgetSeconds);
    float getScale() const { return mFullSizeOnly ? 1.0f : mScale; }

    // The cap, the switch and the scale drawn at, on a scene's panel.
    void addTo(params::InterfaceGl& panel);

    // The size drawn at for a view of `full`: each side times the scale, at least a pixel.
    Vec2i scaledSize(Vec2i full) const;
    // Points the drawing at a target of the current viewport's size times the scale, cleared to
    // the clear colour when `clear`, and returns the size drawn at. At scale 1, or where the GL
    // has no framebuffers, the drawing goes to the view as it is.
    Vec2i begin(bool clear);
    // The share of each side the drawing since begin goes to: 1 when it goes to the view.
    float getDrawnShare() const { return mDrawnShare; }
    // Whether the drawing since begin goes to the target: its copy will cover the whole view.
    bool drawsToTarget() const { return mToTarget; }
    // Scales what was drawn since begin up to the view, and restores the framebuffer and viewport.
    void end();

  private:
    void follow(float dt, float cost, float slow, float fast);
    // The offscreen target at `size`, made or resized on demand; false where the GL has none.
    bool prepareTarget(Vec2i size);
    void releaseTarget();

    float mLimit = 1.0f;
    bool mFollowing = true;
    bool mFullSizeOnly = false;
    float mScale = 1.0f;
    float mSmoothedCost = 0.0f;
    float mRoomSeconds = 0.0f;
    int mHoldFrames = 0;

    GLuint mFramebuffer = 0;
    GLuint mTargetTexture = 0;
    Vec2i mTargetSize{0, 0};
    // Between begin and end: whether the drawing went to the target, and what to restore.
    bool mToTarget = false;
    float mDrawnShare = 1.0f;
    GLint mPreviousFramebuffer = 0;
    std::array<GLint, 4> mViewport{};
};

} // namespace mirvo
