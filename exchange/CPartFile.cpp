#include "exchange/CPartFile.h"

#include "exchange/CReplacingFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kReadBytes = std::size_t{1} << 20;
constexpr int kOpenTries = 3;

bool SameFile(int fd, const std::string& strPath) {
    struct stat opened {};
    struct stat named {};
    return fstat(fd, &opened) == 0 && stat(strPath.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

CPartFile::CPartFile(const std::string& strPath, std::chrono::milliseconds syncEvery)
    : m_strPath(strPath), m_strTarget(CReplacingFile::TargetOf(strPath)),
      m_strPart(m_strTarget + ".part"), m_syncEvery(syncEvery) {}

CPartFile::~CPartFile() {
    StopSyncing();
    if (m_fd >= 0) {
        close(m_fd);
    }
}

CPartFile::EOpen CPartFile::Create() {
    return CreateFrom(false);
}

CPartFile::EOpen CPartFile::Resume() {
    for (int nTry = 0; nTry < kOpenTries; ++nTry) {
        const int fd = open(m_strPart.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            if (access(m_strTarget.c_str(), F_OK) != 0) {
                return EOpen::Missing;
            }
            const EOpen opened = CreateFrom(true);
            if (opened != EOpen::Exists) {
                return opened;
            }
            continue;
        }
        if (fd < 0) {
            Fail("cannot open " + m_strPart, errno);
            return EOpen::Failed;
        }
        const EOpen locked = Lock(fd);
        if (locked != EOpen::Exists) {
            return locked;
        }
    }
    Fail("cannot open " + m_strPart, EBUSY);
    return EOpen::Failed;
}

// Exists means the file went away or was replaced while it was locked: try again.
CPartFile::EOpen CPartFile::Lock(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int nErrno = errno;
        close(fd);
        if (nErrno == EWOULDBLOCK) {
            return EOpen::Busy;
        }
        Fail("cannot lock " + m_strPart, nErrno);
        return EOpen::Failed;
    }
    if (!SameFile(fd, m_strPart)) {
        close(fd);
        return EOpen::Exists;
    }
    m_fd = fd;
    struct stat info {};
    fstat(fd, &info);
    m_nSize = info.st_size;
    StartSyncing();
    return EOpen::Opened;
}

CPartFile::EOpen CPartFile::CreateFrom(bool bCopyTarget) {
    const int fd = open(m_strPart.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        if (bCopyTarget) {
            return EOpen::Exists;
        }
        const int fdOld = open(m_strPart.c_str(), O_RDONLY | O_CLOEXEC);
        if (fdOld < 0 || flock(fdOld, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) {
            if (fdOld >= 0) {
                close(fdOld);
            }
            return EOpen::Exists;
        }
        close(fdOld);
        return EOpen::Busy;
    }
    if (fd < 0) {
        const int nErrno = errno;
        Fail("cannot create " + m_strPart, nErrno);
        return CReplacingFile::IsRefusedByFolder(nErrno) ? EOpen::Refused : EOpen::Failed;
    }
    // The finished file takes the place of the old one, permissions included.
    struct stat info {};
    if (stat(m_strTarget.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        fchmod(fd, info.st_mode & 07777);
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int nErrno = errno;
        close(fd);
        return nErrno == EWOULDBLOCK ? EOpen::Busy
                                     : (Fail("cannot lock " + m_strPart, nErrno), EOpen::Failed);
    }
    m_fd = fd;
    if (bCopyTarget && !CopyTarget()) {
        close(m_fd);
        m_fd = -1;
        unlink(m_strPart.c_str());
        return EOpen::Failed;
    }
    m_bFromTarget = bCopyTarget;
    StartSyncing();
    return EOpen::Opened;
}

// The whole lines of FILE into the new part file, on disk before they count.
bool CPartFile::CopyTarget() {
    const int fdFrom = open(m_strTarget.c_str(), O_RDONLY | O_CLOEXEC);
    if (fdFrom < 0) {
        return Fail("cannot read " + m_strPath, errno);
    }
    std::string strBuffer(kReadBytes, '\0');
    std::string strCarry;
    std::string strReason;
    for (;;) {
        const ssize_t nRead = read(fdFrom, strBuffer.data(), strBuffer.size());
        if (nRead < 0 && errno == EINTR) {
            continue;
        }
        if (nRead < 0) {
            const int nErrno = errno;
            close(fdFrom);
            return Fail("cannot read " + m_strPath, nErrno);
        }
        if (nRead == 0) {
            break;
        }
        strCarry.append(strBuffer.data(), static_cast<std::size_t>(nRead));
        const std::size_t nWhole = strCarry.rfind('\n') + 1;
        if (nWhole == 0) {
            continue;
        }
        if (!CReplacingFile::WriteAll(m_fd, std::string_view(strCarry).substr(0, nWhole),
                                      strReason)) {
            close(fdFrom);
            m_strError = "cannot write " + m_strPart + ": " + strReason;
            return false;
        }
        m_nSize += static_cast<off_t>(nWhole);
        strCarry.erase(0, nWhole);
    }
    close(fdFrom);
    return fdatasync(m_fd) == 0 || Fail("cannot write " + m_strPart, errno);
}

bool CPartFile::ReadLines(const std::function<bool(std::string_view strLine)>& pfnLine,
                          std::size_t nMaxLineBytes) {
    std::string strBuffer(kReadBytes, '\0');
    std::string strLine;
    off_t nAt = 0;
    off_t nWhole = 0;
    for (;;) {
        const ssize_t nRead = pread(m_fd, strBuffer.data(), strBuffer.size(), nAt);
        if (nRead < 0 && errno == EINTR) {
            continue;
        }
        if (nRead < 0) {
            return Fail("cannot read " + m_strPart, errno);
        }
        if (nRead == 0) {
            break;
        }
        nAt += nRead;
        for (std::size_t nStart = 0; nStart < static_cast<std::size_t>(nRead);) {
            const std::size_t nEnd =
                std::string_view(strBuffer.data(), static_cast<std::size_t>(nRead))
                    .find('\n', nStart);
            const std::size_t nStop =
                nEnd == std::string_view::npos ? static_cast<std::size_t>(nRead) : nEnd + 1;
            strLine.append(strBuffer.data() + nStart, nStop - nStart);
            nStart = nStop;
            if (strLine.size() > nMaxLineBytes) {
                m_strError = m_strPart + " holds a line longer than " +
                             std::to_string(nMaxLineBytes >> 20) + " MiB";
                return false;
            }
            if (nEnd == std::string_view::npos) {
                break;
            }
            nWhole += static_cast<off_t>(strLine.size());
            if (!pfnLine(strLine)) {
                return false;
            }
            strLine.clear();
        }
    }
    std::lock_guard<std::mutex> lock(m_lock);
    if (nWhole < nAt && ftruncate(m_fd, nWhole) != 0) {
        return Fail("cannot write " + m_strPart, errno);
    }
    m_nSize = nWhole;
    return true;
}

bool CPartFile::Append(std::string_view bytes, std::size_t nRows) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_fd < 0) {
        return false;
    }
    std::string strReason;
    if (!CReplacingFile::WriteAll(m_fd, bytes, strReason)) {
        m_strError = "cannot write " + m_strPart + ": " + strReason;
        // The rows before this one stay whole and reach the disk.
        if (ftruncate(m_fd, m_nSize) == 0 && fdatasync(m_fd) == 0) {
            m_nDurableRows = m_nRows;
        }
        return false;
    }
    m_nSize += static_cast<off_t>(bytes.size());
    m_nRows += nRows;
    m_bDirty = true;
    return true;
}

bool CPartFile::Finish() {
    StopSyncing();
    if (m_fd < 0) {
        return false;
    }
    if (!Sync()) {
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    // The lock goes with the descriptor: rename first, so that no other
    // writer takes the part file in between.
    if (rename(m_strPart.c_str(), m_strTarget.c_str()) != 0) {
        const int nErrno = errno;
        close(fd);
        return Fail("cannot replace " + m_strPath, nErrno);
    }
    close(fd);
    const int fdFolder =
        open(CReplacingFile::FolderOf(m_strTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdFolder >= 0) {
        fsync(fdFolder);
        close(fdFolder);
    }
    return true;
}

void CPartFile::Remove() {
    StopSyncing();
    if (m_fd >= 0) {
        unlink(m_strPart.c_str());
        close(m_fd);
        m_fd = -1;
    }
}

std::size_t CPartFile::WrittenRows() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nRows;
}

std::size_t CPartFile::DurableRows() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nDurableRows;
}

bool CPartFile::Sync() {
    std::size_t nRows = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        nRows = m_nRows;
        m_bDirty = false;
    }
    if (fdatasync(m_fd) != 0) {
        std::lock_guard<std::mutex> lock(m_lock);
        return Fail("cannot write " + m_strPart, errno);
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_nDurableRows = std::max(m_nDurableRows, nRows);
    return true;
}

void CPartFile::StartSyncing() {
    if (m_syncEvery.count() > 0) {
        m_syncer = std::thread([this] { SyncLoop(); });
    }
}

void CPartFile::StopSyncing() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bStopping = true;
    }
    m_wake.notify_all();
    if (m_syncer.joinable()) {
        m_syncer.join();
    }
}

void CPartFile::SyncLoop() {
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_wake.wait_for(lock, m_syncEvery, [this] { return m_bStopping; })) {
        if (!m_bDirty) {
            continue;
        }
        lock.unlock();
        Sync();
        lock.lock();
    }
}

bool CPartFile::Fail(const std::string& strWhat, int nErrno) {
    m_strError = strWhat + ": " + std::strerror(nErrno);
    return false;
}
