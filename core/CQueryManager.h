#pragma once

#include "core/CDomainIndex.h"
#include "core/CDomainRecord.h"
#include "core/WindowMessages.h"
#include "queries/CServiceHosts.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class CMetricQuery;
class CQueryThread;

// The scan controller: owns every record through the ordered domain index,
// and the worker thread that scans the rows waiting in it.
//
// AddDomain, RescanAll, RemoveAll, Stop and the settings are called from the
// window thread; QueryLoop runs on the worker. The flags and the interval are
// single atomic values read by the worker at the moment of use; each single
// operation on the index runs under one lock.
class CQueryManager {
public:
    // pfnPost delivers the begin, end and added messages; hosts says where the
    // services are.
    explicit CQueryManager(MessagePoster pfnPost, CServiceHosts hosts = CServiceHosts::Real());
    // Stops the worker, cancels a request in flight, waits for the thread,
    // then deletes every record.
    virtual ~CQueryManager();

    CQueryManager(const CQueryManager&) = delete;
    CQueryManager& operator=(const CQueryManager&) = delete;

    // False when the domain is already in the index.
    bool AddDomain(const std::string& strDomain);
    // Sends every row back to waiting and starts the worker.
    int RescanAll();
    // Deletes every record. Only while no worker is alive.
    void RemoveAll();

    int StartThread();
    int IsThreadAlive() const;
    // The worker's loop; runs on the worker thread only.
    int QueryLoop();
    // Asks the worker to end after the row it is scanning.
    void Stop();
    bool IsRunning() const { return m_bRunning.load(std::memory_order_relaxed) != 0; }

    void SetMetricFlag(EMetric metric, bool bOn);
    bool GetMetricFlag(EMetric metric) const;
    void SetInterval(std::int32_t nMilliseconds) {
        m_nInterval.store(nMilliseconds, std::memory_order_relaxed);
    }
    std::int32_t GetInterval() const { return m_nInterval.load(std::memory_order_relaxed); }

    std::size_t GetCount() const;
    CDomainRecord* Find(const std::string& strDomain) const;
    // Calls fn for every record in index order, taking the lock per step.
    void ForEachRecord(const std::function<void(CDomainRecord&)>& fn) const;

private:
    using Flag = std::atomic<std::int32_t>;

    struct SScanStep {
        EMetric metric;
        Flag CQueryManager::*pFlag;
        std::string (CMetricQuery::*pfnQuery)(std::string);
    };
    static const SScanStep s_scanOrder[kMetricCount];

    static Flag CQueryManager::*FlagOf(EMetric metric);

    CDomainRecord* FirstRecord() const;
    CDomainRecord* NextRecord(const CDomainRecord& record) const;
    void ScanRecord(CDomainRecord& record);
    void RunQueries(CDomainRecord& record, const std::string& strDomain);
    // Sleeps, ending early when the controller is destroyed (or, when
    // bWakeOnStop, when the worker is told to stop).
    void Pause(std::int32_t nMilliseconds, bool bWakeOnStop);
    bool IsCancelled() const { return m_bCancel.load(std::memory_order_relaxed); }
    void Post(unsigned nMessage, CDomainRecord* pRecord) const;
    void DeleteRecords();

    Flag m_bRunning{0};
    Flag m_bPR{1};
    Flag m_bAlexa{1};
    Flag m_bBSite{1};
    Flag m_bBLink{0};
    Flag m_bBSearch1{0};
    Flag m_bBSearch2{0};
    Flag m_bGSite{1};
    Flag m_bGLink{0};
    Flag m_bGSearch1{0};
    Flag m_bGSearch2{0};
    std::atomic<std::int32_t> m_nInterval{1000};

    mutable std::mutex m_indexLock;
    CDomainIndex m_mapDomains;
    std::unique_ptr<CQueryThread> m_pThread;

    const MessagePoster m_pfnPost;
    const CServiceHosts m_hosts;
    // Set by the destructor: abandons requests and pauses.
    std::atomic<bool> m_bCancel{false};
    std::mutex m_pauseLock;
    std::condition_variable m_wake;
};
