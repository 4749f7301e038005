#include "core/CListAnswers.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

SQueryResult Failed(const SListStatus& status) {
    SQueryResult result;
    result.state.outcome = EOutcome::Failed;
    result.state.reason = status.reason;
    result.state.nHttpStatus = status.nHttpStatus;
    result.state.strDetail = status.strDetail;
    return result;
}

} // namespace

CListAnswers::CListAnswers(CServiceHosts hosts) : m_hosts(std::move(hosts)) {
    m_cache.SetCancel(&m_bStop);
}

void CListAnswers::BeginPass() {
    m_bStop.store(false);
    m_sources.clear();
    m_lists.clear();
}

SListStatus CListAnswers::Update(const SListSource& source, const ProgressFn& pfnProgress) {
    m_sources.clear();
    m_lists.erase(source.list.FormatKey());
    return m_cache.Refresh(source.list, true, m_hosts.Route(source.list.strUrl),
                           [&](const SListProgress& progress) {
                               if (pfnProgress) {
                                   pfnProgress(source.list.strTitle, progress);
                               }
                           });
}

namespace {

// "4.2" MB, one decimal.
std::string Megabytes(std::uint64_t nBytes) {
    char szText[32];
    std::snprintf(szText, sizeof szText, "%.1f", static_cast<double>(nBytes) / 1e6);
    return szText;
}

// "610 000": groups of three digits parted by a space.
std::string Grouped(std::uint64_t nCount) {
    const std::string strDigits = std::to_string(nCount);
    std::string strGrouped;
    for (std::size_t i = 0; i < strDigits.size(); ++i) {
        if (i > 0 && (strDigits.size() - i) % 3 == 0) {
            strGrouped += ' ';
        }
        strGrouped += strDigits[i];
    }
    return strGrouped;
}

} // namespace

std::string CListAnswers::ProgressText(const std::string& strTitle, const SListProgress& progress) {
    std::string strText = "Downloading " + strTitle + ": " + Megabytes(progress.nBytes);
    strText += progress.nTotalBytes > 0 ? " of " + Megabytes(progress.nTotalBytes) + " MB" : " MB";
    if (progress.stage == SListProgress::EStage::Indexing) {
        strText += ", indexing: " + Grouped(progress.nRows) + " rows";
    }
    return strText;
}

std::string CListAnswers::ListDate(const SListInfo& info) {
    std::tm time{};
    const char* pszEnd = info.strLastModified.empty() ? nullptr
                                                      : strptime(info.strLastModified.c_str(),
                                                                 "%a, %d %b %Y %H:%M:%S", &time);
    if (pszEnd == nullptr) {
        const std::time_t nFetched = static_cast<std::time_t>(info.nFetchedAt);
        gmtime_r(&nFetched, &time);
    }
    char szDate[16];
    std::strftime(szDate, sizeof szDate, "%Y-%m-%d", &time);
    return szDate;
}

CListAnswers::SSource& CListAnswers::SourceFor(const SListSource& source) {
    SSource& entry = m_sources[&source];
    if (entry.pList == nullptr) {
        entry.pList = &m_lists[source.list.FormatKey()];
    }
    return entry;
}

CListAnswers::SList& CListAnswers::Prepare(SList& list, const SListSource& source,
                                           const ProgressFn& pfnProgress) {
    const SListDefinition& definition = source.list;
    if (list.bChecked) {
        return list;
    }
    list.bChecked = true;
    std::optional<SListInfo> info = m_cache.Info(definition);
    if (info && CListCache::IsFresh(definition, *info, Now())) {
        return list;
    }
    if (m_bOffline) {
        if (!info || !CListCache::HoldsColumns(definition, *info)) {
            SListStatus status;
            status.bFailed = true;
            status.reason = EFailReason::Unavailable;
            status.strDetail = "the list is not in the cache, and the scan is offline";
            list.failure = status;
        }
        return list;
    }
    const SListStatus status = m_cache.Refresh(definition, false, m_hosts.Route(definition.strUrl),
                                               [&](const SListProgress& progress) {
                                                   if (pfnProgress) {
                                                       pfnProgress(definition.strTitle, progress);
                                                   }
                                               });
    if (!status.bFailed) {
        return list;
    }
    SListStatus failure = status;
    failure.strDetail = "the list's download failed: " + status.strDetail;
    if (status.reason == EFailReason::Cancelled) {
        // Stopped: the next start tries again.
        list.bChecked = false;
        list.failure = failure;
        return list;
    }
    // A stale copy still answers; without one, the list fails its cells.
    info = m_cache.Info(definition);
    if (!info || !CListCache::HoldsColumns(definition, *info)) {
        list.failure = failure;
    }
    return list;
}

CListLookup* CListAnswers::LookupFor(SList& list, const SListSource& source) {
    std::unique_ptr<CListLookup>& pLookup = list.lookups[source.value.Text()];
    if (!pLookup && !list.failure) {
        std::string strError;
        pLookup = CListLookup::Open(m_cache.DatabasePath(source.list), source.value, strError);
        if (!pLookup) {
            SListStatus status;
            status.bFailed = true;
            status.reason = EFailReason::NoMatch;
            status.strDetail = strError;
            list.failure = status;
        }
    }
    return pLookup.get();
}

SQueryResult CListAnswers::Answer(const SListSource& source, const std::string& strDomain,
                                  bool bAscending, const ProgressFn& pfnProgress) {
    SSource& entry = SourceFor(source);
    SList& list = Prepare(*entry.pList, source, pfnProgress);
    if (entry.pLookup == nullptr) {
        entry.pLookup = LookupFor(list, source);
        if (entry.pLookup == nullptr) {
            return Failed(*list.failure);
        }
        entry.strDate = ListDate(entry.pLookup->Info());
    }
    const std::string& strDate = entry.strDate;
    SQueryResult result;
    const std::optional<SListMatch> match =
        entry.pLookup->Find(strDomain, source.lookup, bAscending);
    if (match) {
        result.state.outcome = EOutcome::Value;
        result.strValue = match->strValue;
        result.state.strDetail = match->strName + " in the list of " + strDate;
    } else {
        result.state.outcome = EOutcome::None;
        result.state.strDetail = "not in the list of " + strDate;
    }
    return result;
}
