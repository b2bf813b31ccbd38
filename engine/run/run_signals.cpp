#include "engine/run/relink_run.h"

#include <csignal>
#include <cstdlib>
#include <exception>
#include <thread>

#include <pthread.h>

namespace tessaly {

namespace {

/// Waits on a thread of its own for one of `signals`, blocked everywhere, and ends the process
/// as it would have, once the runs at work are abandoned.
void startSignalWatcher(const sigset_t &signals) {
    std::thread([signals] {
        int sig = 0;
        while (::sigwait(&signals, &sig) != 0) {
        }
        RelinkRun::abandonRuns();
        std::signal(sig, SIG_DFL);
        ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
        ::raise(sig);
        std::_Exit(128 + sig);
    }).detach();
}

} // namespace

void RelinkRun::abandonRunsOnSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, sig);
    // Blocked here and in every thread started later, so that only the watcher takes them: the
    // cleanup may then do what a signal handler may not.
    if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0)
        return;
    try {
        startSignalWatcher(signals);
    } catch (const std::exception &) {
        // No thread to take them (the memory is short): the signals end the process as they
        // would have, and the next run clears the hidden temporaries left behind.
        ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
    }
}

} // namespace tessaly
