// An optional observer of the render callback, for figures taken on a running device: how long
// the render thread waited for the graph lock and how long the whole block took. While no
// observer is set it costs one atomic load a block.
#pragma once

#include <atomic>
#include <chrono>

namespace mirvo::audio {

class RenderTimingObserver {
  public:
    virtual ~RenderTimingObserver() = default;
    // Audio thread, after the graph lock was let go. Must not allocate, lock or throw.
    virtual void blockRendered(std::chrono::steady_clock::duration lockWait,
                               std::chrono::steady_clock::duration total) noexcept = 0;
};

inline std::atomic<RenderTimingObserver*> gRenderTimingObserver{nullptr};

// Any thread. The observer must outlive every render that may have seen it: stop the device
// before clearing it.
inline void setRenderTimingObserver(RenderTimingObserver* observer)
{
    gRenderTimingObserver.store(observer, std::memory_order_release);
}

// Audio thread. Declared before the graph lock is taken, so that it reports once the lock is
// let go; `locked` marks the moment the lock was obtained.
class RenderTiming {
  public:
    RenderTiming() : mObserver(gRenderTimingObserver.load(std::memory_order_acquire))
    {
        if (mObserver) {
            mStart = mLocked = std::chrono::steady_clock::now();
        }
    }
    ~RenderTiming()
    {
        if (mObserver) {
            mObserver->blockRendered(mLocked - mStart, std::chrono::steady_clock::now() - mStart);
        }
    }
    RenderTiming(const RenderTiming&) = delete;
    RenderTiming& operator=(const RenderTiming&) = delete;

    void locked()
    {
        if (mObserver) {
            mLocked = std::chrono::steady_clock::now();
        }
    }

  private:
    RenderTimingObserver* mObserver;
    std::chrono::steady_clock::time_point mStart;
    std::chrono::steady_clock::time_point mLocked;
};

} // namespace mirvo::audio
