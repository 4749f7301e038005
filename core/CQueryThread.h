#pragma once

#include <atomic>
#include <thread>

class CQueryManager;

// The scan worker's thread object. Created stopped; Start() runs the
// manager's QueryLoop on a new thread. The object outlives its thread: the
// manager deletes it at the next start or at its own destruction, which joins
// the thread.
class CQueryThread {
public:
    CQueryThread() = default;
    virtual ~CQueryThread();

    CQueryThread(const CQueryThread&) = delete;
    CQueryThread& operator=(const CQueryThread&) = delete;

    void Start();
    // True from Start() until QueryLoop has returned.
    bool IsAlive() const { return m_bAlive.load(std::memory_order_acquire); }
    // Waits for the thread to end; harmless when it never started.
    void Join();

    CQueryManager* m_pManager = nullptr;

private:
    void Run();

    std::thread m_thread;
    std::atomic<bool> m_bAlive{false};
};
