#pragma once

#include "lists/SListDefinition.h"
#include "lists/SListInfo.h"
#include "net/STransferLimits.h"
#include "queries/SQueryResult.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

// How far a list's refresh has come, for a progress line.
struct SListProgress {
    enum class EStage { Downloading, Indexing };
    EStage stage = EStage::Downloading;
    std::uint64_t nBytes = 0;
    // The download's size; 0 while unknown.
    std::uint64_t nTotalBytes = 0;
    std::uint64_t nRows = 0;
};

// What a refresh came to. A failed one keeps the copy there was, if any.
struct SListStatus {
    bool bFailed = false;
    EFailReason reason = EFailReason::None;
    int nHttpStatus = 0;
    // Why it failed, or what was done ("unchanged", "downloaded").
    std::string strDetail;
};

// The cache of downloaded lists: one SQLite database per list, named after
// the list's address and format, in one folder shared by every process of
// the user. A refresh downloads the list (conditionally, when a copy with
// an ETag or a date exists), builds a new database beside the old one and
// swaps it in by rename only when the whole list was read. A lock file per
// list keeps two processes from building the same list at once: the second
// waits and then finds the list fresh.
class CListCache {
public:
    explicit CListCache(std::filesystem::path folder = DefaultFolder());

    // $XDG_CACHE_HOME/tallyvine/lists, or ~/.cache/tallyvine/lists.
    static std::filesystem::path DefaultFolder();
    const std::filesystem::path& Folder() const { return m_folder; }

    std::string DatabasePath(const SListDefinition& definition) const;
    // The cached copy's metadata; nullopt when there is no readable copy.
    std::optional<SListInfo> Info(const SListDefinition& definition) const;
    // A copy holding every value column the definition names, fetched less
    // than its refresh time before nNow.
    static bool IsFresh(const SListDefinition& definition, const SListInfo& info,
                        std::int64_t nNow);
    // Whether the copy holds every value column the definition names.
    static bool HoldsColumns(const SListDefinition& definition, const SListInfo& info);

    using ProgressFn = std::function<void(const SListProgress&)>;
    // Brings the list up to date unless it is fresh (bForce: even then).
    // Blocks until done, failed or cancelled. strRoutedUrl is where the
    // request goes (tests route it to a local server); the metadata keeps
    // the definition's own address.
    SListStatus Refresh(const SListDefinition& definition, bool bForce,
                        const std::string& strRoutedUrl, const ProgressFn& pfnProgress);

    // Polled during a refresh; once true the refresh ends as cancelled.
    void SetCancel(const std::atomic<bool>* pCancel) { m_pCancel = pCancel; }
    // The speed floor and the silence limit of a list's download (tests
    // shorten them). It has no ceiling, since a large list on a slow line
    // takes long, and the list's own size cap.
    void SetLimits(const STransferLimits& limits) { m_limits = limits; }

private:
    SListStatus RefreshLocked(const SListDefinition& definition, bool bForce,
                              const std::string& strRoutedUrl, const ProgressFn& pfnProgress);
    SListStatus Download(const SListDefinition& definition, const std::string& strRoutedUrl,
                         const std::optional<SListInfo>& cached, const std::string& strPart,
                         const ProgressFn& pfnProgress, SListInfo& fetched);
    SListStatus Build(const SListDefinition& definition, const std::string& strPart,
                      const std::string& strNew, const ProgressFn& pfnProgress, SListInfo& fetched);
    bool IsCancelled() const { return m_pCancel != nullptr && m_pCancel->load(); }

    std::filesystem::path m_folder;
    const std::atomic<bool>* m_pCancel = nullptr;
    STransferLimits m_limits;
};
