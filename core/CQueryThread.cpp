#include "core/CQueryThread.h"

#include "core/CQueryManager.h"

CQueryThread::~CQueryThread() {
    Join();
}

void CQueryThread::Start() {
    m_bAlive.store(true, std::memory_order_release);
    m_thread = std::thread([this] { Run(); });
}

void CQueryThread::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CQueryThread::Run() {
    if (m_pManager != nullptr) {
        m_pManager->QueryLoop();
    }
    m_bAlive.store(false, std::memory_order_release);
}
