#include "engine/run/relink_run.h"

#include <csignal>
#include <cstdlib>
#include <thread>

#include <pthread.h>

namespace tessaly {

void RelinkRun::abandonRunsOnSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, sig);
    // Blocked here and in every thread started later, so that only the waiting thread below
    // takes them: the cleanup may then do what a signal handler may not.
    if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0)
        return;
    std::thread([signals] {
        int sig = 0;
        while (::sigwait(&signals, &sig) != 0) {
        }
        abandonRuns();
        std::signal(sig, SIG_DFL);
        ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
        ::raise(sig);
        std::_Exit(128 + sig);
    }).detach();
}

} // namespace tessaly
