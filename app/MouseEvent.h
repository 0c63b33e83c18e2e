// A mouse button, move, drag or wheel event: the button that caused it, the position
// in points from the window's top-left corner, the modifier flags (with the initiating
// button's flag) and the wheel increment.
#pragma once

#include "app/Event.h"

#include "core/Vec.h"

#include <cstdint>

namespace mirvo::app {

class MouseEvent : public Event {
  public:
    // Initiators: the button that caused the event; 0 for moves and wheel turns.
    static constexpr int LEFT = 1;
    static constexpr int RIGHT = 2;
    static constexpr int MIDDLE = 4;

    MouseEvent() = default;
    MouseEvent(WindowRef window, int initiator, int x, int y, std::uint32_t modifiers, float wheelIncrement,
               std::uint32_t nativeModifiers)
        : Event(std::move(window)), mInitiator(initiator), mX(x), mY(y), mModifiers(modifiers),
          mWheelIncrement(wheelIncrement), mNativeModifiers(nativeModifiers)
    {
    }

    int getX() const { return mX; }
    int getY() const { return mY; }
    Vec2i getPos() const { return {mX, mY}; }
    int getInitiator() const { return mInitiator; }
    std::uint32_t getModifiers() const { return mModifiers; }
    float getWheelIncrement() const { return mWheelIncrement; }
    std::uint32_t getNativeModifiers() const { return mNativeModifiers; }

    bool isLeft() const { return mInitiator == LEFT; }
    bool isRight() const { return mInitiator == RIGHT; }
    bool isMiddle() const { return mInitiator == MIDDLE; }
    bool isLeftDown() const { return (mModifiers & LEFT_DOWN) != 0; }
    bool isRightDown() const { return (mModifiers & RIGHT_DOWN) != 0; }
    bool isMiddleDown() const { return (mModifiers & MIDDLE_DOWN) != 0; }
    bool isShiftDown() const { return (mModifiers & SHIFT_DOWN) != 0; }
    bool isAltDown() const { return (mModifiers & ALT_DOWN) != 0; }
    bool isControlDown() const { return (mModifiers & CTRL_DOWN) != 0; }
    bool isMetaDown() const { return (mModifiers & META_DOWN) != 0; }

  private:
    int mInitiator = 0;
    int mX = 0;
    int mY = 0;
    std::uint32_t mModifiers = 0;
    float mWheelIncrement = 0.0f;
    std::uint32_t mNativeModifiers = 0;
};

} // namespace mirvo::app
