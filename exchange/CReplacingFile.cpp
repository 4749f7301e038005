#include "exchange/CReplacingFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<unsigned> g_nTempCounter{0};

std::string BaseOf(const std::string& strPath) {
    const std::size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
}

// The temporary files in flight, so that an abrupt end can remove them.
std::mutex g_tempLock;
std::set<std::string> g_temps;

constexpr int kMaxLinks = 40;

int OpenNew(const char* pszPath) {
    return open(pszPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

} // namespace

CReplacingFile::TempOpener CReplacingFile::s_pfnTempOpener = OpenNew;

std::string CReplacingFile::FolderOf(const std::string& strPath) {
    const std::size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos) {
        return ".";
    }
    return nSlash == 0 ? "/" : strPath.substr(0, nSlash);
}

bool CReplacingFile::IsRefusedByFolder(int nErrno) {
    return nErrno == EACCES || nErrno == EPERM || nErrno == EROFS;
}

std::string CReplacingFile::TargetOf(const std::string& strPath) {
    std::string strTarget = strPath;
    for (int nLink = 0; nLink < kMaxLinks; ++nLink) {
        struct stat info {};
        if (lstat(strTarget.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return strTarget;
        }
        std::string strLink(PATH_MAX, '\0');
        const ssize_t nLength = readlink(strTarget.c_str(), strLink.data(), strLink.size());
        if (nLength <= 0 || static_cast<std::size_t>(nLength) >= strLink.size()) {
            return strTarget;
        }
        strLink.resize(static_cast<std::size_t>(nLength));
        strTarget = strLink[0] == '/' ? strLink : FolderOf(strTarget) + "/" + strLink;
    }
    // A loop: the open reports it.
    return strPath;
}

void CReplacingFile::RemoveTemporaryFiles() {
    std::lock_guard<std::mutex> lock(g_tempLock);
    for (const std::string& strTemp : g_temps) {
        unlink(strTemp.c_str());
    }
    g_temps.clear();
}

CReplacingFile::CReplacingFile(std::string strPath) : m_strPath(std::move(strPath)) {}

CReplacingFile::~CReplacingFile() {
    Discard();
}

bool CReplacingFile::Open() {
    if (m_bFailed) {
        return false;
    }
    if (m_strPath.empty()) {
        errno = ENOENT;
        return Fail("cannot create the file");
    }
    m_strTarget = TargetOf(m_strPath);
    struct stat info {};
    const bool bExists = stat(m_strTarget.c_str(), &info) == 0;
    if (bExists) {
        if (S_ISDIR(info.st_mode)) {
            errno = EISDIR;
            return Fail("cannot write " + m_strPath);
        }
        if (!S_ISREG(info.st_mode)) {
            return OpenDirect();
        }
        // Replacing would go round a file that may not be written.
        if (access(m_strTarget.c_str(), W_OK) != 0) {
            return Fail("cannot write " + m_strPath);
        }
    }
    if (OpenBeside(m_strTarget)) {
        // The new file takes the place of the old one, permissions included.
        if (bExists) {
            fchmod(m_fd, info.st_mode & 07777);
        }
        return true;
    }
    // A folder that takes no new file may still hold a file that can be
    // written: it is rewritten in place, keeping its hard links and owner.
    if (bExists && IsRefusedByFolder(errno)) {
        m_bSync = true;
        m_bInPlace = true;
        return OpenDirect();
    }
    return Fail("cannot create " + m_strPath);
}

// False with errno set when no file could be made beside the target.
bool CReplacingFile::OpenBeside(const std::string& strTarget) {
    const std::string strStem =
        FolderOf(strTarget) + "/." + BaseOf(strTarget) + ".tmp-" + std::to_string(getpid()) + "-";
    for (int nTry = 0; nTry < 100; ++nTry) {
        const std::string strTemp = strStem + std::to_string(g_nTempCounter++);
        std::lock_guard<std::mutex> lock(g_tempLock);
        m_fd = s_pfnTempOpener(strTemp.c_str());
        if (m_fd >= 0) {
            m_strTemp = strTemp;
            g_temps.insert(strTemp);
            m_bSync = true;
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return false;
}

bool CReplacingFile::OpenDirect() {
    // A file rewritten in place keeps its bytes until the new ones have room.
    m_fd = open(m_strTarget.c_str(), O_WRONLY | (m_bInPlace ? 0 : O_TRUNC) | O_CLOEXEC);
    return m_fd >= 0 || Fail("cannot open " + m_strPath);
}

bool CReplacingFile::Write(std::string_view bytes) {
    if (m_bFailed || m_fd < 0) {
        return false;
    }
    if (m_bInPlace) {
        m_strPending.append(bytes);
        return true;
    }
    std::string strReason;
    if (!WriteAll(m_fd, bytes, strReason)) {
        m_bFailed = true;
        m_strError = "cannot write " + m_strPath + ": " + strReason;
        Discard();
        return false;
    }
    return true;
}

bool CReplacingFile::Commit() {
    if (m_bFailed || m_fd < 0) {
        return false;
    }
    // A device needs no sync; a regular file's bytes are on disk before the
    // rename or, written in place, before the export counts as done.
    if (m_bInPlace && !RewriteInPlace()) {
        return false;
    }
    if (m_bSync && fsync(m_fd) != 0) {
        return Fail("cannot write " + m_strPath);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0) {
        return Fail("cannot write " + m_strPath);
    }
    if (!m_strTemp.empty()) {
        std::lock_guard<std::mutex> lock(g_tempLock);
        if (rename(m_strTemp.c_str(), m_strTarget.c_str()) != 0) {
            const int nErrno = errno;
            unlink(m_strTemp.c_str());
            g_temps.erase(m_strTemp);
            m_strTemp.clear();
            errno = nErrno;
            return Fail("cannot replace " + m_strPath);
        }
        g_temps.erase(m_strTemp);
        m_strTemp.clear();
    }
    return true;
}

// The space for the new bytes is taken before any old byte is overwritten:
// a disk that cannot hold them leaves the old file whole.
bool CReplacingFile::RewriteInPlace() {
    struct stat info {};
    if (fstat(m_fd, &info) != 0) {
        return Fail("cannot write " + m_strPath);
    }
    const off_t nNew = static_cast<off_t>(m_strPending.size());
    const int nReserve = posix_fallocate(m_fd, 0, std::max(nNew, info.st_size));
    if (nReserve != 0) {
        errno = nReserve;
        const std::string strKept = "; " + m_strPath + " is left as it was";
        Fail("cannot write " + m_strPath);
        m_strError += strKept;
        return false;
    }
    std::string strReason;
    std::string_view bytes = m_strPending;
    for (off_t nAt = 0; !bytes.empty();) {
        const ssize_t nWritten = pwrite(m_fd, bytes.data(), bytes.size(), nAt);
        if (nWritten < 0 && errno == EINTR) {
            continue;
        }
        if (nWritten <= 0) {
            return Fail("cannot write " + m_strPath + " (partly rewritten)");
        }
        bytes.remove_prefix(static_cast<std::size_t>(nWritten));
        nAt += nWritten;
    }
    m_strPending.clear();
    return ftruncate(m_fd, nNew) == 0 || Fail("cannot write " + m_strPath);
}

bool CReplacingFile::WriteAll(int fd, std::string_view bytes, std::string& strError) {
    while (!bytes.empty()) {
        const ssize_t nWritten = write(fd, bytes.data(), bytes.size());
        if (nWritten < 0 && errno == EINTR) {
            continue;
        }
        if (nWritten <= 0) {
            strError = nWritten < 0 ? std::strerror(errno) : "nothing could be written";
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(nWritten));
    }
    return true;
}

void CReplacingFile::SetTempOpener(TempOpener pfnOpen) {
    s_pfnTempOpener = pfnOpen ? pfnOpen : OpenNew;
}

bool CReplacingFile::Fail(const std::string& strWhat) {
    m_strError = strWhat + ": " + std::strerror(errno);
    m_bFailed = true;
    Discard();
    return false;
}

void CReplacingFile::Discard() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_strTemp.empty()) {
        std::lock_guard<std::mutex> lock(g_tempLock);
        unlink(m_strTemp.c_str());
        g_temps.erase(m_strTemp);
        m_strTemp.clear();
    }
}
