// Marks a stretch of the audio thread's work as real-time. In the real-time sanitizer's build
// (MIRVO_RTSAN defined) any allocation, lock, sleep or file call inside the scope fails the run;
// in every other build the scope compiles to nothing. Scopes nest.
#pragma once

#if defined(MIRVO_RTSAN)

extern "C" void __rtsan_realtime_enter();
extern "C" void __rtsan_realtime_exit();

namespace mirvo::audio {

class RealtimeScope {
  public:
    RealtimeScope() { __rtsan_realtime_enter(); }
    ~RealtimeScope() { __rtsan_realtime_exit(); }
    RealtimeScope(const RealtimeScope&) = delete;
    RealtimeScope& operator=(const RealtimeScope&) = delete;
};

} // namespace mirvo::audio

#define MIRVO_RT_SCOPE() const ::mirvo::audio::RealtimeScope mirvoRealtimeScope

#else

#define MIRVO_RT_SCOPE() static_cast<void>(0)

#endif
