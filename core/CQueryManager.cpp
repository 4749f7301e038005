#include "core/CQueryManager.h"

#include "core/CMetricTable.h"
#include "core/CQueryThread.h"
#include "queries/CMetricQuery.h"

#include <chrono>
#include <system_error>

CQueryManager::CQueryManager(CRecordStore& store, IScanListener* pListener, CServiceHosts hosts)
    : m_store(store), m_pListener(pListener), m_hosts(std::move(hosts)),
      m_arrFlags(CMetricTable::Count()), m_arrLastAsked(CMetricTable::Count()), m_lists(m_hosts) {
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
    return true;
}

int CQueryManager::RescanAll() {
    m_store.ForEachRecord([](CDomainRecord& record) { record.ResetForRescan(); });
    StartThread();
    return 1;
}

std::size_t CQueryManager::RescanFailed() {
    std::size_t nRows = 0;
    m_store.ForEachRecord(
        [&](CDomainRecord& record) { nRows += record.MarkFailedCells() ? 1 : 0; });
    if (nRows > 0) {
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
    while (IsRunning()) {
        ScanPass();
        Pause(1000, true);
    }
}

void CQueryManager::ScanEveryRowOnce() {
    m_bRunning.store(1, std::memory_order_relaxed);
    ScanPass();
    m_bRunning.store(0, std::memory_order_relaxed);
}

namespace {

std::uint32_t Now() {
    const auto tNow = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(tNow).count());
}

} // namespace

void CQueryManager::ScanPass() {
    SPassSummary summary;
    summary.arrMetrics.resize(CMetricTable::Count());
    m_lists.BeginPass();
    for (CDomainRecord* pRecord = m_store.First(); pRecord != nullptr;
         pRecord = m_store.Next(*pRecord)) {
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
            Pause(1, false);
        }
    }
    if (summary.nRows > 0 && m_pListener != nullptr) {
        m_pListener->OnPassEnded(summary);
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
        Pause(m_nInterval.load(std::memory_order_relaxed), false);
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
        const SQueryResult result =
            bList ? AnswerFromList(nMetric, strDomain) : Ask(*query, nMetric, strDomain);
        record.SetResult(nMetric, result, bWhole, Now());
        summary.arrMetrics[nMetric].Count(record.GetCellState(nMetric));
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

SQueryResult CQueryManager::Ask(CMetricQuery& query, std::size_t nMetric,
                                const std::string& strDomain) {
    constexpr int kLongestRetryAfter = 60;
    const SQueryRule& rule = CMetricTable::At(nMetric).query;
    const auto send = [&] {
        KeepInterval(nMetric);
        m_arrLastAsked[nMetric] = std::chrono::steady_clock::now();
        return query.Query(rule, strDomain);
    };
    SQueryResult result = send();
    if (result.nHttpStatus == 429 && result.nRetryAfter > 0 &&
        result.nRetryAfter <= kLongestRetryAfter && !IsCancelled()) {
        Pause(result.nRetryAfter * 1000, false);
        if (!IsCancelled()) {
            result = send();
        }
    }
    return result;
}

void CQueryManager::KeepInterval(std::size_t nMetric) {
    const int nInterval = CMetricTable::At(nMetric).nIntervalMs;
    if (nInterval <= 0 || m_arrLastAsked[nMetric] == std::chrono::steady_clock::time_point()) {
        return;
    }
    const auto due = m_arrLastAsked[nMetric] + std::chrono::milliseconds(nInterval);
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
        due - std::chrono::steady_clock::now());
    Pause(static_cast<std::int32_t>(wait.count()), false);
}

void CQueryManager::Pause(std::int32_t nMilliseconds, bool bWakeOnStop) {
    if (nMilliseconds <= 0) {
        return;
    }
    std::unique_lock<std::mutex> lock(m_pauseLock);
    m_wake.wait_for(lock, std::chrono::milliseconds(nMilliseconds),
                    [&] { return IsCancelled() || (bWakeOnStop && !IsRunning()); });
}
