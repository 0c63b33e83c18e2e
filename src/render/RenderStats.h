// Where a render's time goes, for --render-stats: wall time per phase on the drawing thread and
// on the encoder's thread, and the CPU time each group of the process's threads spent. Each
// thread keeps its own phases; the totals are read once the threads are done with them.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace mirvo::render {

enum class Phase {
    // The drawing thread.
    Audio,
    Update,
    Draw,
    Resolve,
    ReadBack,
    HandOff,
    WaitEncoder,
    // The encoder, wherever it runs.
    Convert,
    EncodeVideo,
    EncodeAudio,
    Mux,
    Count
};

const char* describe(Phase phase);

// Seconds spent in each phase by the one thread that owns the object.
class PhaseTimes {
  public:
    void add(Phase phase, double seconds) { mSeconds[static_cast<std::size_t>(phase)] += seconds; }
    double get(Phase phase) const { return mSeconds[static_cast<std::size_t>(phase)]; }
    void addAll(const PhaseTimes& other);

    // Adds the time from its construction to its end to `phase`.
    class Scope {
      public:
        Scope(PhaseTimes& times, Phase phase)
            : mTimes(times), mPhase(phase), mStart(std::chrono::steady_clock::now())
        {
        }
        ~Scope()
        {
            mTimes.add(mPhase,
                       std::chrono::duration<double>(std::chrono::steady_clock::now() - mStart).count());
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        PhaseTimes& mTimes;
        Phase mPhase;
        std::chrono::steady_clock::time_point mStart;
    };

  private:
    std::array<double, static_cast<std::size_t>(Phase::Count)> mSeconds{};
};

// CPU seconds of the threads that share a name ("main" for the process's first thread).
struct ThreadGroupCpu {
    std::string name;
    int numThreads = 0;
    double seconds = 0.0;
};

// The process's live threads grouped by name, from /proc; empty where there is no /proc.
std::vector<ThreadGroupCpu> sampleThreadCpu();
// The calling thread's CPU seconds so far.
double threadCpuSeconds();

// The table printed at the end: one line per phase that took any time, then the CPU by thread.
std::string formatStats(const PhaseTimes& times, std::uint64_t frames, double wallSeconds,
                        const std::vector<ThreadGroupCpu>& cpu);

} // namespace mirvo::render
