// Marks a stretch of the audio thread's work as real-time. In the real-time sanitizer's build
// (MIRVO_RTSAN defined) any allocation, lock, sleep or file call inside the scope fails the run;
// in every other build the scope compiles to nothing. Scopes nest. MIRVO_RT_UNCHECKED runs one
// statement outside the check, for the one wake-up the audio thread is allowed: a file player
// signalling its read thread.
#pragma once

#if defined(MIRVO_RTSAN)

extern "C" void __rtsan_realtime_enter();
extern "C" void __rtsan_realtime_exit();
extern "C" void __rtsan_off();
extern "C" void __rtsan_on();

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
#define MIRVO_RT_UNCHECKED(statement)                                                                        \
    do {                                                                                                     \
        __rtsan_off();                                                                                       \
        statement;                                                                                           \
        __rtsan_on();                                                                                        \
    } while (false)

#else

#define MIRVO_RT_SCOPE() static_cast<void>(0)
#define MIRVO_RT_UNCHECKED(statement) statement

#endif
