#pragma once

#include <atomic>
#include <functional>
#include <thread>

// Takes the termination signals (SIGTERM, SIGINT, SIGHUP) on a thread of its
// own, so that the scan can be cancelled and the rows already scanned still
// written: a handler could do neither safely.
//
// BlockSignals must run in main before any thread starts, so that every
// thread inherits the blocked set and only the watch receives them.
class CSignalWatch {
public:
    // Blocks the three signals in the calling thread; false when it cannot.
    static bool BlockSignals();

    // pfnOnSignal runs on the watch's thread for the first signal. A second
    // one runs pfnOnSecond (may be empty), then ends the process at once
    // with 128 plus its number.
    explicit CSignalWatch(std::function<void(int nSignal)> pfnOnSignal,
                          std::function<void()> pfnOnSecond = nullptr);
    ~CSignalWatch();

    CSignalWatch(const CSignalWatch&) = delete;
    CSignalWatch& operator=(const CSignalWatch&) = delete;

    // The first signal taken; 0 while none came.
    int Caught() const { return m_nSignal.load(); }

    // "SIGTERM" and so on, for messages.
    static const char* Name(int nSignal);

private:
    void Watch();

    std::function<void(int)> m_pfnOnSignal;
    std::function<void()> m_pfnOnSecond;
    std::atomic<int> m_nSignal{0};
    std::atomic<bool> m_bStopping{false};
    std::thread m_thread;
};
