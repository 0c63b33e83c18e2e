// The signals that ask a program to end (Ctrl+C, a closed terminal, a job runner's kill) turned
// into a request that the main loop reads between two pieces of work, so that the work ends
// cleanly: a render finishes its file, the window quits as its quit key does. Main thread; one
// at a time.
#pragma once

#include <csignal>
#include <initializer_list>
#include <utility>
#include <vector>

namespace mirvo {

class StopSignals {
  public:
    // Catches `stop` and ignores `ignore` until destroyed, whatever was inherited or installed
    // before (a shell starts background jobs with SIGINT ignored), except a SIGHUP ignored by
    // nohup; unblocks them on this thread, and the threads it starts afterwards inherit that.
    StopSignals(std::initializer_list<int> stop, std::initializer_list<int> ignore = {});
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The first of the stop signals that came, 0 while none has.
    int getSignal() const;
    // The exit status of a program that ends on `signal`, as the shell reports one killed by it.
    static int exitStatusFor(int signal) { return 128 + signal; }

  private:
    std::vector<std::pair<int, struct sigaction>> mPrevious;
};

} // namespace mirvo
