#include "core/CQueryThread.h"

CQueryThread::CQueryThread(std::function<void()> fnBody) : m_fnBody(std::move(fnBody)) {}

CQueryThread::~CQueryThread() {
    Join();
}

void CQueryThread::Start() {
    m_bAlive.store(true, std::memory_order_release);
    try {
        m_thread = std::jthread([this] {
            m_fnBody();
            m_bAlive.store(false, std::memory_order_release);
        });
    } catch (...) {
        m_bAlive.store(false, std::memory_order_release);
        throw;
    }
}

void CQueryThread::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}
