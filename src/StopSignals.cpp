#include "src/StopSignals.h"

#include <pthread.h>

#include <cassert>

namespace mirvo {

namespace {

volatile std::sig_atomic_t gSignal = 0;
bool gInstalled = false;

extern "C" void onStopSignal(int signal)
{
    if (gSignal == 0) {
        gSignal = signal;
    }
}

} // namespace

StopSignals::StopSignals(std::initializer_list<int> stop, std::initializer_list<int> ignore)
{
    assert(!gInstalled);
    gInstalled = true;
    gSignal = 0;
    sigset_t unblock;
    sigemptyset(&unblock);
    const auto install = [&](int signal, void (*handler)(int)) {
        struct sigaction action = {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        // Interrupted calls resume: the request is read between frames, not by the call.
        action.sa_flags = SA_RESTART;
        struct sigaction previous = {};
        sigaction(signal, &action, &previous);
        mPrevious.emplace_back(signal, previous);
        // A hang-up ignored by whoever started the program (nohup) stays ignored: the program
        // was meant to outlive its terminal.
        if (signal == SIGHUP && previous.sa_handler == SIG_IGN) {
            sigaction(signal, &previous, nullptr);
            return;
        }
        sigaddset(&unblock, signal);
    };
    for (int signal : stop) {
        install(signal, onStopSignal);
    }
    for (int signal : ignore) {
        install(signal, SIG_IGN);
    }
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
}

StopSignals::~StopSignals()
{
    for (const auto& [signal, previous] : mPrevious) {
        sigaction(signal, &previous, nullptr);
    }
    gInstalled = false;
}

int StopSignals::getSignal() const
{
    return gSignal;
}

} // namespace mirvo
