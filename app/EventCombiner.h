// Signal combiners for window and application notifications. An event combiner stops
// calling slots once one of them marks the event handled; the should-quit combiner
// ANDs the answers so that any slot can veto. Main thread only, like the signals.
#pragma once

#include "app/Event.h"

namespace mirvo::app {

// Calls the slots in connection order until one marks the event handled. A combiner
// never sees the arguments of the emission, so it reads the event through a cell that
// the emitter points at the event for the duration of the emission.
template <typename EventT> class EventCombiner {
  public:
    using result_type = void;

    EventCombiner() = default;
    explicit EventCombiner(const Event* const* currentEvent) : mCurrentEvent(currentEvent) {}

    template <typename InputIterator> void operator()(InputIterator first, InputIterator last) const
    {
        for (; first != last; ++first) {
            if (isHandled()) {
                return;
            }
            *first;
        }
    }

  private:
    bool isHandled() const { return mCurrentEvent && *mCurrentEvent && (*mCurrentEvent)->isHandled(); }

    const Event* const* mCurrentEvent = nullptr;
};

// Starts from true and ANDs in every slot's answer: no slots means yes. Every slot is
// asked, even after a veto, so each can react to the question.
class BooleanAndEventCombiner {
  public:
    using result_type = bool;

    template <typename InputIterator> bool operator()(InputIterator first, InputIterator last) const
    {
        bool result = true;
        for (; first != last; ++first) {
            result = *first && result;
        }
        return result;
    }
};

} // namespace mirvo::app
