#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include <sys/types.h>

// The file FILE.part that a long export grows beside its final name FILE, a
// row at a time, so that a crash loses at most the rows of the last second:
// rows are written as they come and made durable (fdatasync) every
// syncEvery by a thread of its own, and at the end. Finish moves it onto
// FILE, so FILE is always either the old file or a whole new one.
//
// The part file is locked (flock) while the object holds it: a second
// writer of the same output is refused. Dropping the object leaves the part
// file in place, for a later run to go on with.
class CPartFile {
public:
    enum class EOpen {
        Opened,
        Missing, // Resume: neither FILE.part nor FILE exists
        Exists,  // Create: FILE.part is there, from a run that did not end
        Busy,    // another process holds FILE.part
        Refused, // the folder takes no new file (no permission, read-only)
        Failed,  // see Error()
    };

    // strPath: the final name; symbolic links are followed, and FILE.part
    // lies beside the file they lead to. A zero syncEvery syncs only at the end.
    explicit CPartFile(const std::string& strPath,
                       std::chrono::milliseconds syncEvery = std::chrono::seconds(1));
    ~CPartFile();

    CPartFile(const CPartFile&) = delete;
    CPartFile& operator=(const CPartFile&) = delete;

    // Makes a new, empty FILE.part.
    EOpen Create();
    // Opens FILE.part to go on with it; when there is none, makes it from a
    // finished FILE (whose bytes stay as they are).
    EOpen Resume();
    // Calls pfnLine with every whole line of the opened file, its LF
    // included, from the start; a last line without its LF (written only in
    // part) is cut off the file. False, with Error() set, when the file
    // cannot be read, holds a line over nMaxLineBytes, or pfnLine answers false.
    bool ReadLines(const std::function<bool(std::string_view strLine)>& pfnLine,
                   std::size_t nMaxLineBytes);
    // Appends bytes holding nRows rows. After a failed write the file is cut
    // back to its last whole row and synced; false then, with Error() set.
    bool Append(std::string_view bytes, std::size_t nRows);
    // Syncs the file and moves it onto FILE.
    bool Finish();
    // Removes FILE.part (once its rows are safe elsewhere).
    void Remove();

    // Rows appended by this object, and how many of them are on disk.
    std::size_t WrittenRows() const;
    std::size_t DurableRows() const;
    // Whether Resume made the part file from a finished FILE.
    bool FromFinishedFile() const { return m_bFromTarget; }

    const std::string& PartPath() const { return m_strPart; }
    const std::string& Error() const { return m_strError; }

private:
    EOpen Lock(int fd);
    EOpen CreateFrom(bool bCopyTarget);
    bool CopyTarget();
    bool Fail(const std::string& strWhat, int nErrno);
    void StartSyncing();
    void StopSyncing();
    void SyncLoop();
    bool Sync();

    std::string m_strPath;   // as given, for messages
    std::string m_strTarget; // FILE, links followed
    std::string m_strPart;
    const std::chrono::milliseconds m_syncEvery;
    int m_fd = -1;
    bool m_bFromTarget = false;
    std::string m_strError;

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_bStopping = false;
    bool m_bDirty = false;
    std::size_t m_nRows = 0;
    std::size_t m_nDurableRows = 0;
    off_t m_nSize = 0; // the bytes of whole rows
    std::thread m_syncer;
};
