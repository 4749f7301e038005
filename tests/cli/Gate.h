#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// Holds a test server's answer until the test opens it (at most 20 s, so a
// failing test still ends); opened for good when dropped.
class Gate {
public:
    ~Gate() { Open(); }
    void Open() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bOpen = true;
        m_opened.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_opened.wait_for(lock, std::chrono::seconds(20), [this] { return m_bOpen; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_bOpen = false;
};
