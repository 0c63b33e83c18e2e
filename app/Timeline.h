// The animation timeline the application steps every frame. Nothing schedules items on
// it yet, so it only keeps the time it was stepped to.
#pragma once

#include <memory>

namespace mirvo::app {

class Timeline;
using TimelineRef = std::shared_ptr<Timeline>;

class Timeline {
  public:
    static TimelineRef create() { return std::make_shared<Timeline>(); }

    void stepTo(double seconds) { mCurrentTime = seconds; }
    double getCurrentTime() const { return mCurrentTime; }

  private:
    double mCurrentTime = 0.0;
};

} // namespace mirvo::app
