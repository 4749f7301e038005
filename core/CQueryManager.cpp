#include "core/CQueryManager.h"

#include "core/CQueryThread.h"
#include "queries/CMetricQuery.h"

#include <chrono>
#include <thread>

// The order in which the services are asked; not the column order.
const CQueryManager::SScanStep CQueryManager::s_scanOrder[kMetricCount] = {
    {EMetric::Alexa, &CQueryManager::m_bAlexa, &CMetricQuery::QueryAlexaRank},
    {EMetric::PR, &CQueryManager::m_bPR, &CMetricQuery::QueryPageRank},
    {EMetric::BSite, &CQueryManager::m_bBSite, &CMetricQuery::QueryBaiduSite},
    {EMetric::GLink, &CQueryManager::m_bGLink, &CMetricQuery::QueryGoogleLink},
    {EMetric::BLink, &CQueryManager::m_bBLink, &CMetricQuery::QueryBaiduLink},
    {EMetric::GSite, &CQueryManager::m_bGSite, &CMetricQuery::QueryGoogleSite},
    {EMetric::BSearch1, &CQueryManager::m_bBSearch1, &CMetricQuery::QueryBaiduSearch1},
    {EMetric::BSearch2, &CQueryManager::m_bBSearch2, &CMetricQuery::QueryBaiduSearch2},
    {EMetric::GSearch1, &CQueryManager::m_bGSearch1, &CMetricQuery::QueryGoogleSearch1},
    {EMetric::GSearch2, &CQueryManager::m_bGSearch2, &CMetricQuery::QueryGoogleSearch2},
};

CQueryManager::CQueryManager(MessagePoster pfnPost, CServiceHosts hosts)
    : m_pfnPost(std::move(pfnPost)), m_hosts(std::move(hosts)) {}

CQueryManager::~CQueryManager() {
    // The worker must be gone before the records and this object are freed.
    m_bRunning.store(0, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(m_pauseLock);
        m_bCancel.store(true, std::memory_order_relaxed);
    }
    m_wake.notify_all();
    if (m_pThread) {
        m_pThread->Join();
    }
    DeleteRecords();
    m_pThread.reset();
}

bool CQueryManager::AddDomain(const std::string& strDomain) {
    CDomainRecord* pRecord = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_indexLock);
        pRecord = m_mapDomains.Insert(strDomain);
    }
    if (pRecord == nullptr) {
        return false;
    }
    StartThread();
    Post(WM_DOMAIN_ADDED, pRecord);
    return true;
}

int CQueryManager::RescanAll() {
    ForEachRecord([](CDomainRecord& record) { record.ResetForRescan(); });
    StartThread();
    return 1;
}

void CQueryManager::RemoveAll() {
    DeleteRecords();
}

void CQueryManager::DeleteRecords() {
    std::lock_guard<std::mutex> lock(m_indexLock);
    m_mapDomains.Clear();
}

int CQueryManager::StartThread() {
    if (m_pThread) {
        if (m_pThread->IsAlive()) {
            return 0;
        }
        m_pThread.reset();
    }
    auto pThread = std::make_unique<CQueryThread>();
    pThread->m_pManager = this;
    // Set before the thread runs, so its first test never sees 0.
    m_bRunning.store(1, std::memory_order_relaxed);
    m_pThread = std::move(pThread);
    m_pThread->Start();
    return 0;
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

void CQueryManager::SetMetricFlag(EMetric metric, bool bOn) {
    (this->*FlagOf(metric)).store(bOn ? 1 : 0, std::memory_order_relaxed);
}

bool CQueryManager::GetMetricFlag(EMetric metric) const {
    return (this->*FlagOf(metric)).load(std::memory_order_relaxed) != 0;
}

CQueryManager::Flag CQueryManager::*CQueryManager::FlagOf(EMetric metric) {
    for (const SScanStep& step : s_scanOrder) {
        if (step.metric == metric) {
            return step.pFlag;
        }
    }
    return &CQueryManager::m_bPR;
}

std::size_t CQueryManager::GetCount() const {
    std::lock_guard<std::mutex> lock(m_indexLock);
    return m_mapDomains.GetCount();
}

CDomainRecord* CQueryManager::Find(const std::string& strDomain) const {
    std::lock_guard<std::mutex> lock(m_indexLock);
    return m_mapDomains.Find(strDomain);
}

void CQueryManager::ForEachRecord(const std::function<void(CDomainRecord&)>& fn) const {
    for (CDomainRecord* pRecord = FirstRecord(); pRecord != nullptr;
         pRecord = NextRecord(*pRecord)) {
        fn(*pRecord);
    }
}

CDomainRecord* CQueryManager::FirstRecord() const {
    std::lock_guard<std::mutex> lock(m_indexLock);
    return m_mapDomains.First();
}

// A walk holds on to the last record it visited, not to a place in the index,
// which moves under inserts: the record and its domain text stay while a
// worker lives, so the next entry is found again from that text. Entries
// added meanwhile behind it wait for the next pass; those ahead come in this
// one.
CDomainRecord* CQueryManager::NextRecord(const CDomainRecord& record) const {
    std::lock_guard<std::mutex> lock(m_indexLock);
    return m_mapDomains.After(record.GetDomain());
}

int CQueryManager::QueryLoop() {
    while (IsRunning()) {
        for (CDomainRecord* pRecord = FirstRecord(); pRecord != nullptr;
             pRecord = NextRecord(*pRecord)) {
            if (!IsRunning()) {
                break;
            }
            if (!pRecord->IsScanned()) {
                ScanRecord(*pRecord);
            }
            Pause(1, false);
        }
        Pause(1000, true);
    }
    return 1;
}

void CQueryManager::ScanRecord(CDomainRecord& record) {
    const std::string strDomain = record.GetDomain();
    Post(WM_QUERY_BEGIN, &record);
    RunQueries(record, strDomain);
    if (IsCancelled()) {
        return;
    }
    // The throttle between rows is kept on Stop; only destruction cuts it.
    Pause(m_nInterval.load(std::memory_order_relaxed), false);
    if (!IsCancelled()) {
        Post(WM_QUERY_END, &record);
    }
}

void CQueryManager::RunQueries(CDomainRecord& record, const std::string& strDomain) {
    CMetricQuery query(m_hosts, &m_bCancel);
    for (const SScanStep& step : s_scanOrder) {
        if (IsCancelled()) {
            return;
        }
        if ((this->*step.pFlag).load(std::memory_order_relaxed) == 0) {
            continue;
        }
        record.SetMetric(step.metric, (query.*step.pfnQuery)(strDomain));
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

void CQueryManager::Post(unsigned nMessage, CDomainRecord* pRecord) const {
    if (m_pfnPost) {
        m_pfnPost(nMessage, pRecord);
    }
}
