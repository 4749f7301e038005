#include "lists/CFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <thread>

CFileLock::~CFileLock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool CFileLock::Acquire(const std::string& strPath, const std::atomic<bool>* pCancel) {
    m_fd = ::open(strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        return false;
    }
    // A polled wait rather than a blocking one, so that Stop ends it.
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (pCancel != nullptr && pCancel->load()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}
