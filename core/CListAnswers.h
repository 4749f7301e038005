#pragma once

#include "lists/CListCache.h"
#include "lists/CListLookup.h"
#include "lists/SListDefinition.h"
#include "queries/CServiceHosts.h"
#include "queries/SQueryResult.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

// The worker's answers from list sources. The first row that needs a list
// in a pass finds it in the cache, or downloads it when it is missing or
// stale (unless offline); every row after that is looked up in the index.
// A list that cannot be had fails its cells for the rest of the pass with
// the download's reason, without trying again for every row.
class CListAnswers {
public:
    explicit CListAnswers(CServiceHosts hosts);

    // Only cached copies; a missing list fails its cells.
    void SetOffline(bool bOffline) { m_bOffline = bOffline; }
    void SetLimits(const STransferLimits& limits) { m_cache.SetLimits(limits); }
    // A new pass looks at every list again.
    void BeginPass();
    // Ends a download in flight; safe from any thread.
    void Stop() { m_bStop.store(true); }

    // Told how a download or an index build goes; strTitle names the list.
    using ProgressFn = std::function<void(const std::string& strTitle, const SListProgress&)>;
    // The cell of the source for the row's domain; bAscending: smaller
    // values are better (for a list of origins, which may hold several).
    SQueryResult Answer(const SListSource& source, const std::string& strDomain, bool bAscending,
                        const ProgressFn& pfnProgress);

    // Downloads the source's list again (conditionally, when a copy is
    // there); for an update asked for by the user.
    SListStatus Update(const SListSource& source, const ProgressFn& pfnProgress);
    // The cached copy's metadata; nullopt when there is none.
    std::optional<SListInfo> CachedInfo(const SListSource& source) const {
        return m_cache.Info(source.list);
    }
    // "Downloading the Tranco list: 4.2 of 10.6 MB", then
    // "Downloading the Tranco list: 10.6 of 10.6 MB, indexing: 610 000 rows".
    static std::string ProgressText(const std::string& strTitle, const SListProgress& progress);

    // The list's date as cells tell it: its Last-Modified day, else the day it
    // was downloaded, as YYYY-MM-DD.
    static std::string ListDate(const SListInfo& info);

private:
    struct SList {
        bool bChecked = false;
        // Why the list cannot be had; empty while it can.
        std::optional<SListStatus> failure;
        std::map<std::string, std::unique_ptr<CListLookup>> lookups;
    };
    // What a source's cells need on every row, found on its first.
    struct SSource {
        SList* pList = nullptr;
        CListLookup* pLookup = nullptr;
        std::string strDate; // the list's date as cells tell it
    };
    SSource& SourceFor(const SListSource& source);
    SList& Prepare(SList& list, const SListSource& source, const ProgressFn& pfnProgress);
    CListLookup* LookupFor(SList& list, const SListSource& source);

    const CServiceHosts m_hosts;
    CListCache m_cache;
    std::atomic<bool> m_bStop{false};
    bool m_bOffline = false;
    // By the list's format key.
    std::map<std::string, SList> m_lists;
    // By the metric table's source, which stays put while the worker runs;
    // forgotten with the lists.
    std::unordered_map<const SListSource*, SSource> m_sources;
};
