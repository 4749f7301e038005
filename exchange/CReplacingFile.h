#pragma once

#include <string>
#include <string_view>

// A file written beside its final name and moved into place only by Commit,
// once every byte is written and flushed; until then an existing file of that
// name stays as it was. Dropping the object without Commit removes the
// partial file.
//
// A final name that exists and is not a regular file (a terminal, a pipe,
// /dev/null) cannot be replaced: it is opened and written directly. So is a
// writable file in a folder that takes no new file (no write permission, a
// read-only mount): its new bytes are kept until Commit, which first reserves
// the room they need, so that a full disk leaves the old file whole, then
// overwrites it, cuts it to the new length and syncs it.
class CReplacingFile {
public:
    explicit CReplacingFile(std::string strPath);
    ~CReplacingFile();

    CReplacingFile(const CReplacingFile&) = delete;
    CReplacingFile& operator=(const CReplacingFile&) = delete;

    // Each returns false on failure, with the reason in Error(); after a
    // failure the others do nothing and fail too.
    bool Open();
    bool Write(std::string_view bytes);
    bool Commit();

    const std::string& Error() const { return m_strError; }

    // Writes all of bytes to fd, going on after short writes and interrupts.
    // False with the reason in strError when a write fails.
    static bool WriteAll(int fd, std::string_view bytes, std::string& strError);

    // The file a write through strPath reaches: symbolic links are followed,
    // a dangling one too, so that the file is made where the link points.
    static std::string TargetOf(const std::string& strPath);

    // The folder that holds strPath ("." for a bare name).
    static std::string FolderOf(const std::string& strPath);
    // Whether an errno from making a file is the folder's refusal of new
    // files: its permissions, a read-only mount, an immutable folder.
    static bool IsRefusedByFolder(int nErrno);

    // Removes every temporary file of the process not yet moved into place;
    // for a program that must end at once.
    static void RemoveTemporaryFiles();

    // Tests: stands in for creating the file beside the target (an open()
    // with O_CREAT | O_EXCL), so that a folder refusing new files can be
    // played by root too; null restores the real one.
    using TempOpener = int (*)(const char* pszPath);
    static void SetTempOpener(TempOpener pfnOpen);

private:
    bool Fail(const std::string& strWhat);
    bool OpenBeside(const std::string& strTarget);
    bool OpenDirect();
    bool RewriteInPlace();
    void Discard();

    std::string m_strPath;   // the name the caller gave, for messages
    std::string m_strTarget; // the file that is replaced (symbolic links followed)
    std::string m_strTemp;   // empty when writing directly
    int m_fd = -1;
    bool m_bSync = false; // a regular file, whose bytes Commit puts on disk
    bool m_bInPlace = false;
    std::string m_strPending; // the bytes of a file rewritten in place
    bool m_bFailed = false;
    std::string m_strError;

    static TempOpener s_pfnTempOpener;
};
