#include "exchange/CReplacingFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<unsigned> g_nTempCounter{0};

std::string ParentOf(const std::string& strPath) {
    const std::size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos) {
        return ".";
    }
    return nSlash == 0 ? "/" : strPath.substr(0, nSlash);
}

std::string BaseOf(const std::string& strPath) {
    const std::size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
}

// The file a write through strPath would reach: a symbolic link is followed,
// so that the export replaces its target and not the link.
std::string ResolveTarget(const std::string& strPath) {
    struct stat info {};
    if (lstat(strPath.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return strPath;
    }
    char szResolved[PATH_MAX];
    return realpath(strPath.c_str(), szResolved) != nullptr ? std::string(szResolved) : strPath;
}

// The folder's refusals of a new file: its permissions, a read-only mount,
// an immutable folder.
bool IsRefusedByFolder(int nErrno) {
    return nErrno == EACCES || nErrno == EPERM || nErrno == EROFS;
}

int OpenNew(const char* pszPath) {
    return open(pszPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

} // namespace

CReplacingFile::TempOpener CReplacingFile::s_pfnTempOpener = OpenNew;

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
    m_strTarget = ResolveTarget(m_strPath);
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
        return OpenDirect();
    }
    return Fail("cannot create " + m_strPath);
}

// False with errno set when no file could be made beside the target.
bool CReplacingFile::OpenBeside(const std::string& strTarget) {
    const std::string strStem =
        ParentOf(strTarget) + "/." + BaseOf(strTarget) + ".tmp-" + std::to_string(getpid()) + "-";
    for (int nTry = 0; nTry < 100; ++nTry) {
        const std::string strTemp = strStem + std::to_string(g_nTempCounter++);
        m_fd = s_pfnTempOpener(strTemp.c_str());
        if (m_fd >= 0) {
            m_strTemp = strTemp;
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
    m_fd = open(m_strTarget.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    return m_fd >= 0 || Fail("cannot open " + m_strPath);
}

bool CReplacingFile::Write(std::string_view bytes) {
    if (m_bFailed || m_fd < 0) {
        return false;
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
    if (m_bSync && fsync(m_fd) != 0) {
        return Fail("cannot write " + m_strPath);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0) {
        return Fail("cannot write " + m_strPath);
    }
    if (!m_strTemp.empty() && rename(m_strTemp.c_str(), m_strTarget.c_str()) != 0) {
        return Fail("cannot replace " + m_strPath);
    }
    m_strTemp.clear();
    return true;
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
        unlink(m_strTemp.c_str());
        m_strTemp.clear();
    }
}
