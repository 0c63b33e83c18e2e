// Touches are carried through the window's signals for completeness; no platform
// layer here produces them yet.
#pragma once

#include "app/Event.h"

#include "core/Vec.h"

#include <cstdint>
#include <vector>

namespace mirvo::app {

class TouchEvent : public Event {
  public:
    struct Touch {
        Vec2f pos;
        Vec2f prevPos;
        std::uint32_t id = 0;
        double time = 0.0;
    };

    TouchEvent() = default;
    TouchEvent(WindowRef window, std::vector<Touch> touches)
        : Event(std::move(window)), mTouches(std::move(touches))
    {
    }

    const std::vector<Touch>& getTouches() const { return mTouches; }

  private:
    std::vector<Touch> mTouches;
};

} // namespace mirvo::app
