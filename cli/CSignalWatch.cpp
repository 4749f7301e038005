#include "cli/CSignalWatch.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace {

sigset_t TerminationSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    return signals;
}

} // namespace

bool CSignalWatch::BlockSignals() {
    const sigset_t signals = TerminationSignals();
    return pthread_sigmask(SIG_BLOCK, &signals, nullptr) == 0;
}

CSignalWatch::CSignalWatch(std::function<void(int nSignal)> pfnOnSignal,
                           std::function<void()> pfnOnSecond)
    : m_pfnOnSignal(std::move(pfnOnSignal)), m_pfnOnSecond(std::move(pfnOnSecond)),
      m_thread([this] { Watch(); }) {}

CSignalWatch::~CSignalWatch() {
    m_bStopping.store(true);
    // The signal is blocked everywhere, so it only wakes the watch's wait.
    pthread_kill(m_thread.native_handle(), SIGHUP);
    m_thread.join();
}

void CSignalWatch::Watch() {
    const sigset_t signals = TerminationSignals();
    for (;;) {
        int nSignal = 0;
        if (sigwait(&signals, &nSignal) != 0 || m_bStopping.load()) {
            return;
        }
        if (m_nSignal.load() != 0) {
            // Asked twice: the user does not want to wait for the output.
            if (m_pfnOnSecond) {
                m_pfnOnSecond();
            }
            _exit(128 + nSignal);
        }
        m_nSignal.store(nSignal);
        m_pfnOnSignal(nSignal);
    }
}

const char* CSignalWatch::Name(int nSignal) {
    switch (nSignal) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}
