#pragma once

#include <atomic>
#include <string>

// An exclusive lock on a file shared by every process that uses the same
// cache (flock): held from Acquire until destruction. The lock file itself
// stays; only the lock matters.
class CFileLock {
public:
    CFileLock() = default;
    ~CFileLock();
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    // Waits for the lock, looking at pCancel (may be null) between tries;
    // false when the file cannot be opened or the wait was cancelled.
    bool Acquire(const std::string& strPath, const std::atomic<bool>* pCancel);

private:
    int m_fd = -1;
};
