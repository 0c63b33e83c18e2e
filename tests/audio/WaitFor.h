// Waiting in a test for what another thread does. The bound is for liveness, not timing, and
// generous enough for a loaded two-core machine or an instrumented build.
#pragma once

#include <chrono>
#include <thread>

namespace mirvo::audio::test {

inline constexpr std::chrono::seconds kPatience{20};

// Polls `done` every `poll` until it holds (true) or the patience runs out (false).
template <typename Predicate>
bool waitFor(Predicate done, std::chrono::milliseconds poll = std::chrono::milliseconds(5))
{
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(poll);
    }
    return true;
}

} // namespace mirvo::audio::test
