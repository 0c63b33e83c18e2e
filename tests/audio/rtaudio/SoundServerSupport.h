// Child processes for the sound-server tests: a recorder (parec) whose raw float output is
// collected on a thread, and a private PulseAudio server that a test may kill.
#pragma once

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace mirvo::audio::test {

// Runs `command` through the shell and returns its standard output, trimmed.
inline std::string runAndRead(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[256];
        while (size_t got = fread(chunk, 1, sizeof(chunk), pipe)) {
            out.append(chunk, got);
        }
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

// A child process started with argv; its standard output can be read on a thread.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& argv, bool captureOutput,
                          const std::string& env = "")
    {
        int fds[2] = {-1, -1};
        if (captureOutput && pipe(fds) != 0) {
            return;
        }
        mPid = fork();
        if (mPid == 0) {
            if (captureOutput) {
                dup2(fds[1], STDOUT_FILENO);
                close(fds[0]);
                close(fds[1]);
            }
            if (!env.empty()) {
                putenv(const_cast<char*>(env.c_str()));
            }
            std::freopen("/dev/null", "w", stderr);
            std::vector<char*> args;
            for (const std::string& arg : argv) {
                args.push_back(const_cast<char*>(arg.c_str()));
            }
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        if (captureOutput) {
            close(fds[1]);
            mReadFd = fds[0];
            mReader = std::thread([this] {
                char chunk[4096];
                ssize_t got;
                while ((got = read(mReadFd, chunk, sizeof(chunk))) > 0) {
                    mOutput.append(chunk, size_t(got));
                }
            });
        }
    }
    ~ChildProcess() { stop(SIGTERM); }

    bool isStarted() const { return mPid > 0; }
    // Sends a signal and returns at once (SIGSTOP freezes the child, for instance).
    void signal(int signal)
    {
        if (mPid > 0) {
            kill(mPid, signal);
        }
    }
    void stop(int signal)
    {
        if (mPid > 0) {
            kill(mPid, signal);
            waitpid(mPid, nullptr, 0);
            mPid = -1;
        }
        if (mReader.joinable()) {
            mReader.join();
        }
        if (mReadFd >= 0) {
            close(mReadFd);
            mReadFd = -1;
        }
    }
    // Valid after stop.
    const std::string& getOutput() const { return mOutput; }

  private:
    pid_t mPid = -1;
    int mReadFd = -1;
    std::thread mReader;
    std::string mOutput;
};

inline std::vector<float> asFloats(const std::string& raw)
{
    std::vector<float> samples(raw.size() / sizeof(float));
    std::memcpy(samples.data(), raw.data(), samples.size() * sizeof(float));
    return samples;
}

} // namespace mirvo::audio::test
