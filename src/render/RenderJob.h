// One track of a folder render, rendered by this program started again for it: a process with
// its own GL context, encoder and signal handling, whose standard error comes back through a
// pipe a line at a time. Should the folder render die, the track's render is ended with it.
// The thread that starts it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace mirvo::render {

class RenderJob {
  public:
    // Runs this program's own executable with `args` (the first being its name) and the
    // environment with `environment`'s NAME=VALUE entries added. Throws std::system_error.
    RenderJob(const std::vector<std::string>& args, const std::vector<std::string>& environment);
    // Ends a render still running (SIGTERM, which leaves its file finished) and waits for it.
    ~RenderJob();
    RenderJob(const RenderJob&) = delete;
    RenderJob& operator=(const RenderJob&) = delete;

    // The pipe of its standard error, to wait on; -1 once it has ended.
    int getFd() const { return mFd; }
    // Reads what it has written and returns the complete lines, without their newlines; at the
    // end of its output, whatever is left as well.
    std::vector<std::string> readLines();
    bool hasEnded() const { return mFd < 0; }
    void signal(int signal) const;
    // Waits for it to exit: its exit status, or 128 and the signal that killed it.
    int wait();

  private:
    pid_t mPid = -1;
    int mExitStatus = 1;
    int mFd = -1;
    std::string mPartial;
};

} // namespace mirvo::render
