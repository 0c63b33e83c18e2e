#include "src/render/RenderJob.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

extern char** environ;

namespace mirvo::render {

namespace {

[[noreturn]] void throwErrno(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// Pointers to `strings` ending in null, as exec takes them.
std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (std::string& text : strings) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

} // namespace

RenderJob::RenderJob(const std::vector<std::string>& args, const std::vector<std::string>& environment)
{
    // Everything the child needs is made before fork: after it only calls safe in a child of
    // a process that may have threads.
    std::vector<std::string> argStrings = args;
    std::vector<std::string> envStrings;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const bool replaced =
            std::any_of(environment.begin(), environment.end(), [&](const std::string& added) {
                const auto equals = added.find('=');
                return text.compare(0, equals + 1, added, 0, equals + 1) == 0;
            });
        if (!replaced) {
            envStrings.push_back(text);
        }
    }
    envStrings.insert(envStrings.end(), environment.begin(), environment.end());
    std::vector<char*> argv = pointers(argStrings);
    std::vector<char*> envp = pointers(envStrings);
    const pid_t parent = ::getpid();

    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throwErrno("cannot make a pipe");
    }
    mPid = ::fork();
    if (mPid < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        errno = error;
        throwErrno("cannot start a render");
    }
    if (mPid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The folder render may have died before the line above took effect.
        if (::getppid() != parent) {
            ::_exit(1);
        }
        ::dup2(fds[1], STDERR_FILENO);
        ::execve("/proc/self/exe", argv.data(), envp.data());
        static const char kFailed[] = "mirvo: cannot start the render of a track again\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, kFailed, sizeof kFailed - 1);
        ::_exit(127);
    }
    ::close(fds[1]);
    mFd = fds[0];
}

RenderJob::~RenderJob()
{
    if (mPid > 0) {
        signal(SIGTERM);
        wait();
    }
    if (mFd >= 0) {
        ::close(mFd);
    }
}

std::vector<std::string> RenderJob::readLines()
{
    std::vector<std::string> lines;
    if (mFd < 0) {
        return lines;
    }
    char buffer[4096];
    const ssize_t count = ::read(mFd, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
        return lines;
    }
    if (count > 0) {
        mPartial.append(buffer, static_cast<std::size_t>(count));
    }
    std::size_t start = 0;
    for (std::size_t newline; (newline = mPartial.find('\n', start)) != std::string::npos;
         start = newline + 1) {
        lines.push_back(mPartial.substr(start, newline - start));
    }
    mPartial.erase(0, start);
    if (count <= 0) {
        if (!mPartial.empty()) {
            lines.push_back(mPartial);
            mPartial.clear();
        }
        ::close(mFd);
        mFd = -1;
    }
    return lines;
}

void RenderJob::signal(int signal) const
{
    if (mPid > 0) {
        ::kill(mPid, signal);
    }
}

int RenderJob::wait()
{
    if (mPid <= 0) {
        return mExitStatus;
    }
    int status = 0;
    pid_t waited = -1;
    while ((waited = ::waitpid(mPid, &status, 0)) < 0 && errno == EINTR) {
    }
    mPid = -1;
    mExitStatus = waited < 0 ? 1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return mExitStatus;
}

} // namespace mirvo::render
