#include "core/CQueryManager.h"

#include "core/CMetricTable.h"
#include "core/CQueryThread.h"
#include "queries/CMetricQuery.h"

#include <algorithm>
#include <chrono>
#include <system_error>

CQueryManager::CQueryManager(CRecordStore& store, IScanListener* pListener, CServiceHosts hosts)
    : m_store(store), m_pListener(pListener), m_hosts(std::move(hosts)),
      m_arrFlags(CMetricTable::Count()), m_arrLastAsked(CMetricTable::Count()),
      m_arrSuspensions(CMetricTable::Count()), m_lists(m_hosts) {
    for (std::size_t i = 0; i < m_arrFlags.size(); ++i) {
        m_arrFlags[i].store(CMetricTable::At(i).bDefault ? 1 : 0, std::memory_order_relaxed);
    }
}

CQueryManager::~CQueryManager() {
    // The worker must be gone before the records and this object are freed.
    m_bRunning.store(0, std::memory_order_relaxed);
    Cancel();
    if (m_pThread) {
        m_pThread->Join();
    }
    m_store.RemoveAll();
    m_pThread.reset();
}

bool CQueryManager::AddDomain(const std::string& strDomain) {
    CDomainRecord* pRecord = m_store.AddDomain(strDomain);
    if (pRecord == nullptr) {
        return false;
    }
    StartThread();
    if (m_pListener != nullptr) {
        m_pListener->OnRowAdded(*pRecord);
    }
    // An idle worker takes the row now rather than after its pause.
    WakeWorker();
    return true;
}

int CQueryManager::RescanAll() {
    m_store.ForEachRecord([](CDomainRecord& record) { record.ResetForRescan(); });
    m_store.NoteRowsWaiting();
    StartThread();
    return 1;
}

std::size_t CQueryManager::RescanFailed() {
    std::size_t nRows = 0;
    m_store.ForEachRecord(
        [&](CDomainRecord& record) { nRows += record.MarkFailedCells() ? 1 : 0; });
    if (nRows > 0) {
        m_store.NoteRowsWaiting();
        StartThread();
    }
    return nRows;
}

void CQueryManager::RemoveAll() {
    m_store.RemoveAll();
}

int CQueryManager::StartThread() {
    if (m_pThread && m_pThread->IsAlive()) {
        return 0;
    }
    auto pThread = std::make_unique<CQueryThread>([this] { QueryLoop(); });
    const std::int32_t bWasRunning = m_bRunning.exchange(1, std::memory_order_relaxed);
    try {
        // Set before the thread runs, so its first test never sees 0.
        LaunchWorker(*pThread);
    } catch (const std::system_error& error) {
        m_bRunning.store(bWasRunning, std::memory_order_relaxed);
        m_strStartError = error.what();
        return -1;
    }
    m_strStartError.clear();
    m_pThread = std::move(pThread);
    return 0;
}

void CQueryManager::LaunchWorker(CQueryThread& thread) {
    thread.Start();
}

int CQueryManager::IsThreadAlive() const {
    return m_pThread && m_pThread->IsAlive() ? 1 : 0;
}

void CQueryManager::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_pauseLock);
        m_bRunning.store(0, std::memory_order_relaxed);
    }
    m_lists.Stop();
    m_wake.notify_all();
}

void CQueryManager::WakeWorker() {
    // Taking the lock orders the wake after any test the worker is making.
    { std::lock_guard<std::mutex> lock(m_pauseLock); }
    m_wake.notify_all();
}

void CQueryManager::Cancel() {
    {
        std::lock_guard<std::mutex> lock(m_pauseLock);
        m_bCancel.store(true, std::memory_order_relaxed);
    }
    m_lists.Stop();
    m_wake.notify_all();
}

void CQueryManager::SetMetricFlag(std::size_t nMetric, bool bOn) {
    if (nMetric < m_arrFlags.size()) {
        m_arrFlags[nMetric].store(bOn ? 1 : 0, std::memory_order_relaxed);
    }
}

bool CQueryManager::GetMetricFlag(std::size_t nMetric) const {
    return nMetric < m_arrFlags.size() && m_arrFlags[nMetric].load(std::memory_order_relaxed) != 0;
}

void CQueryManager::QueryLoop() {
    std::optional<std::uint64_t> nIdleAt;
    while (IsRunning()) {
        const std::uint64_t nChanges = m_store.ChangeCount();
        if (nIdleAt != nChanges) {
            nIdleAt = ScanPass() ? std::nullopt : std::optional<std::uint64_t>(nChanges);
        }
        Pause(1000, EWake::OnStopOrAdd);
    }
}

void CQueryManager::ScanEveryRowOnce() {
    m_bRunning.store(1, std::memory_order_relaxed);
    ScanPass();
    m_bRunning.store(0, std::memory_order_relaxed);
}

namespace {

using SteadyClock = std::chrono::steady_clock;

std::int64_t SecondsSince1970() {
    const auto tNow = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::seconds>(tNow).count();
}

std::uint32_t Now() {
    return static_cast<std::uint32_t>(SecondsSince1970());
}

// The longest Retry-After waited out before asking once more.
constexpr int kLongestRepeatWait = 60;
// A source rate-limited without a Retry-After rests this long at first, then
// twice as long each time it is so again, up to the longest.
constexpr int kFirstBackoff = 60;
constexpr int kLongestSuspension = 3600;

} // namespace

bool CQueryManager::ScanPass() {
    SPassSummary summary;
    summary.arrMetrics.resize(CMetricTable::Count());
    m_lists.BeginPass();
    // Only the rows that need it are visited: a long list that is all
    // scanned costs one quick walk, not a step for every row.
    const auto needsScan = [](const CDomainRecord& record) { return record.NeedsScan(); };
    bool bFound = false;
    for (CDomainRecord* pRecord = m_store.FindAfter(nullptr, needsScan); pRecord != nullptr;
         pRecord = m_store.FindAfter(pRecord, needsScan)) {
        bFound = true;
        if (!IsRunning() || IsCancelled()) {
            break;
        }
        bool bAskedService = true;
        if (!pRecord->IsScanned()) {
            bAskedService = ScanRecord(*pRecord, true, summary);
        } else if (pRecord->HasPendingCells()) {
            bAskedService = ScanRecord(*pRecord, false, summary);
        }
        // A row answered from lists alone spared every service: no pause.
        if (bAskedService) {
            Pause(1, EWake::Never);
        }
    }
    if (summary.nRows > 0 && m_pListener != nullptr && !IsCancelled()) {
        SummariseList(summary);
        m_pListener->OnPassEnded(summary);
    }
    return bFound;
}

void CQueryManager::SummariseList(SPassSummary& summary) const {
    summary.arrList.resize(CMetricTable::Count());
    m_store.FindAfter(nullptr, [&](CDomainRecord& record) {
        record.CountShownCells(summary.arrList);
        return IsCancelled();
    });
    summary.arrSuspendedUntil.assign(CMetricTable::Count(), 0);
    const auto now = SteadyClock::now();
    for (std::size_t nMetric = 0; nMetric < m_arrSuspensions.size(); ++nMetric) {
        if (now < m_arrSuspensions[nMetric].until) {
            summary.arrSuspendedUntil[nMetric] = m_arrSuspensions[nMetric].nWallUntil;
        }
    }
}

bool CQueryManager::ScanRecord(CDomainRecord& record, bool bWhole, SPassSummary& summary) {
    if (m_pListener != nullptr) {
        m_pListener->OnScanBegun(record);
    }
    if (bWhole) {
        record.BeginScan(Now());
    }
    // A whole row asks every metric ticked at the moment its turn comes.
    const bool bAskedService = RunQueries(
        record, bWhole ? CMetricTable::QueryOrder() : record.PendingCells(), bWhole, summary);
    if (!bWhole) {
        record.SettlePending();
    }
    if (IsCancelled()) {
        return bAskedService;
    }
    ++summary.nRows;
    // The throttle between rows is kept on Stop; only cancelling cuts it.
    if (bAskedService) {
        Pause(m_nInterval.load(std::memory_order_relaxed), EWake::Never);
    }
    if (!IsCancelled() && m_pListener != nullptr) {
        m_pListener->OnScanEnded(record);
    }
    return bAskedService;
}

bool CQueryManager::RunQueries(CDomainRecord& record, const std::vector<std::size_t>& metrics,
                               bool bWhole, SPassSummary& summary) {
    const std::string strDomain(record.GetDomain());
    std::optional<CMetricQuery> query;
    bool bAskedService = false;
    for (std::size_t nMetric : metrics) {
        if (IsCancelled()) {
            return true;
        }
        if (bWhole && !GetMetricFlag(nMetric)) {
            continue;
        }
        const bool bList = CMetricTable::At(nMetric).listSource.IsSet();
        if (!bList && !query) {
            query.emplace(m_hosts, &m_bCancel);
            if (m_limits) {
                query->SetLimits(*m_limits);
            }
        }
        bAskedService = bAskedService || !bList;
        const std::optional<SQueryResult> result =
            bList ? AnswerFromList(nMetric, strDomain) : Ask(*query, nMetric, strDomain);
        if (!result) {
            continue; // the cell keeps what it had
        }
        summary.arrMetrics[nMetric].Count(record.SetResult(nMetric, *result, bWhole, Now()));
    }
    return bAskedService;
}

SQueryResult CQueryManager::AnswerFromList(std::size_t nMetric, const std::string& strDomain) {
    const SMetric& metric = CMetricTable::At(nMetric);
    return m_lists.Answer(metric.listSource, strDomain, metric.bAscending,
                          [this](const std::string& strTitle, const SListProgress& progress) {
                              if (m_pListener != nullptr) {
                                  m_pListener->OnListProgress(strTitle, progress);
                              }
                          });
}

std::optional<SQueryResult> CQueryManager::Ask(CMetricQuery& query, std::size_t nMetric,
                                               const std::string& strDomain) {
    if (auto suspended = SuspendedResult(nMetric)) {
        return suspended;
    }
    const SQueryRule& rule = CMetricTable::At(nMetric).query;
    const auto send = [&]() -> std::optional<SQueryResult> {
        if (!KeepInterval(nMetric)) {
            return std::nullopt;
        }
        m_arrLastAsked[nMetric] = SteadyClock::now();
        return query.Query(rule, strDomain);
    };
    std::optional<SQueryResult> result = send();
    bool bRepeated = false;
    if (result && result->state.nHttpStatus == 429 && result->nRetryAfter > 0 &&
        result->nRetryAfter <= kLongestRepeatWait) {
        if (!Pause(result->nRetryAfter * 1000, EWake::OnStop)) {
            return std::nullopt;
        }
        result = send();
        bRepeated = true;
    }
    if (result) {
        NoteRateLimit(nMetric, *result, bRepeated);
    }
    return result;
}

std::optional<SQueryResult> CQueryManager::SuspendedResult(std::size_t nMetric) const {
    const SSuspension& suspension = m_arrSuspensions[nMetric];
    if (SteadyClock::now() >= suspension.until) {
        return std::nullopt;
    }
    SQueryResult result;
    result.state.outcome = EOutcome::Failed;
    result.state.reason = EFailReason::Blocked;
    result.state.strDetail = SuspendedUntilText(suspension.nWallUntil);
    return result;
}

void CQueryManager::NoteRateLimit(std::size_t nMetric, const SQueryResult& result, bool bRepeated) {
    SSuspension& suspension = m_arrSuspensions[nMetric];
    if (result.state.nHttpStatus != 429) {
        suspension.nBackoff = 0;
        return;
    }
    // A 429 without a Retry-After is not waited for, and not held against
    // the source; one that was waited for, or that asks for longer than is
    // waited, is.
    if (!bRepeated && result.nRetryAfter <= kLongestRepeatWait) {
        return;
    }
    int nSeconds = result.nRetryAfter;
    if (nSeconds <= 0) {
        suspension.nBackoff = suspension.nBackoff == 0
                                  ? kFirstBackoff
                                  : std::min(2 * suspension.nBackoff, kLongestSuspension);
        nSeconds = suspension.nBackoff;
    }
    nSeconds = std::min(nSeconds, kLongestSuspension);
    suspension.until = SteadyClock::now() + std::chrono::seconds(nSeconds);
    suspension.nWallUntil = SecondsSince1970() + nSeconds;
}

bool CQueryManager::KeepInterval(std::size_t nMetric) {
    const int nInterval = CMetricTable::At(nMetric).nIntervalMs;
    if (nInterval <= 0 || m_arrLastAsked[nMetric] == SteadyClock::time_point()) {
        return true;
    }
    const auto due = m_arrLastAsked[nMetric] + std::chrono::milliseconds(nInterval);
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(due - SteadyClock::now());
    return Pause(static_cast<std::int32_t>(wait.count()), EWake::OnStop);
}

bool CQueryManager::ShouldWake(EWake wake, std::uint64_t nAddsBefore) const {
    if (IsCancelled()) {
        return true;
    }
    switch (wake) {
    case EWake::Never:
        return false;
    case EWake::OnStop:
        return !IsRunning();
    case EWake::OnStopOrAdd:
        return !IsRunning() || m_store.AddCount() != nAddsBefore;
    }
    return false;
}

bool CQueryManager::Pause(std::int32_t nMilliseconds, EWake wake) {
    if (nMilliseconds <= 0) {
        return true;
    }
    const std::uint64_t nAdds = m_store.AddCount();
    std::unique_lock<std::mutex> lock(m_pauseLock);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(nMilliseconds),
                            [&] { return ShouldWake(wake, nAdds); });
}
