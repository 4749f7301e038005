#include "core/CQueryManager.h"

#include "core/CMetricTable.h"
#include "core/CQueryThread.h"
#include "queries/CMetricQuery.h"

#include <chrono>
#include <system_error>

CQueryManager::CQueryManager(CRecordStore& store, IScanListener* pListener, CServiceHosts hosts)
    : m_store(store), m_pListener(pListener), m_hosts(std::move(hosts)),
      m_arrFlags(CMetricTable::Count()) {
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
    m_wake.notify_all();
}

void CQueryManager::Cancel() {
    {
        std::lock_guard<std::mutex> lock(m_pauseLock);
        m_bCancel.store(true, std::memory_order_relaxed);
    }
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

void CQueryManager::ScanPass() {
    for (CDomainRecord* pRecord = m_store.First(); pRecord != nullptr;
         pRecord = m_store.Next(*pRecord)) {
        if (!IsRunning() || IsCancelled()) {
            break;
        }
        if (!pRecord->IsScanned()) {
            ScanRecord(*pRecord);
        }
        Pause(1, false);
    }
}

void CQueryManager::ScanRecord(CDomainRecord& record) {
    const std::string strDomain = record.GetDomain();
    if (m_pListener != nullptr) {
        m_pListener->OnScanBegun(record);
    }
    RunQueries(record, strDomain);
    if (IsCancelled()) {
        return;
    }
    // The throttle between rows is kept on Stop; only cancelling cuts it.
    Pause(m_nInterval.load(std::memory_order_relaxed), false);
    if (!IsCancelled() && m_pListener != nullptr) {
        m_pListener->OnScanEnded(record);
    }
}

void CQueryManager::RunQueries(CDomainRecord& record, const std::string& strDomain) {
    CMetricQuery query(m_hosts, &m_bCancel);
    for (std::size_t nMetric : CMetricTable::QueryOrder()) {
        if (IsCancelled()) {
            return;
        }
        if (!GetMetricFlag(nMetric)) {
            continue;
        }
        record.SetMetric(nMetric, query.Query(CMetricTable::At(nMetric).query, strDomain));
    }
}

void CQueryManager::Pause(std::int32_t nMilliseconds, bool bWakeOnStop) {
    if (nMilliseconds <= 0) {
        return;
    }
    std::unique_lock<std::mutex> lock(m_pauseLock);
    m_wake.wait_for(lock, std::chrono::milliseconds(nMilliseconds),
                    [&] { return IsCancelled() || (bWakeOnStop && !IsRunning()); });
}
