#pragma once

#include <atomic>
#include <functional>
#include <thread>

// The scan worker's thread object. Created stopped; Start() runs the body on
// a new thread. The object outlives its thread: its owner deletes it at the
// next start or at its own end, which joins the thread.
class CQueryThread {
public:
    explicit CQueryThread(std::function<void()> fnBody);
    ~CQueryThread();

    CQueryThread(const CQueryThread&) = delete;
    CQueryThread& operator=(const CQueryThread&) = delete;

    // Throws std::system_error when no thread can be had; the object then
    // stays stopped.
    void Start();
    // True from Start() until the body has returned.
    bool IsAlive() const { return m_bAlive.load(std::memory_order_acquire); }
    // Waits for the thread to end; harmless when it never started.
    void Join();

private:
    const std::function<void()> m_fnBody;
    std::atomic<bool> m_bAlive{false};
    std::jthread m_thread;
};
