// The pointer as shaders of the common convention read it in iMouse. xy: where the pointer is
// while the left button is held, and where it was let go after; zw: where the button went
// down. z turns negative when the button comes up, w is positive only in the frame of the
// press, so a shader can tell a click from a drag. All zero until the first press.
#pragma once

#include "core/Vec.h"

#include <array>

namespace mirvo {

class ShaderPointer {
  public:
    // Positions are fractions of the window, y downwards as the window reports them, so that
    // a frame drawn at a reduced scale still gets them in its own pixels.
    void press(Vec2f at)
    {
        mAt = mClick = at;
        mDown = mFreshPress = mEverPressed = true;
    }
    void drag(Vec2f at)
    {
        if (mDown) {
            mAt = at;
        }
    }
    void release() { mDown = false; }

    // The uniform for a frame of `size` pixels, y upwards; read once a frame, as a press
    // shows in one frame only.
    std::array<float, 4> take(Vec2i size)
    {
        if (!mEverPressed) {
            return {0.f, 0.f, 0.f, 0.f};
        }
        const auto pixels = [size](Vec2f at) {
            return Vec2f(at.x * static_cast<float>(size.x), (1.f - at.y) * static_cast<float>(size.y));
        };
        const Vec2f at = pixels(mAt);
        const Vec2f click = pixels(mClick);
        const std::array<float, 4> value{at.x, at.y, mDown ? click.x : -click.x,
                                         mFreshPress ? click.y : -click.y};
        mFreshPress = false;
        return value;
    }

  private:
    Vec2f mAt{0.f, 0.f};
    Vec2f mClick{0.f, 0.f};
    bool mDown = false;
    bool mFreshPress = false;
    bool mEverPressed = false;
};

} // namespace mirvo
