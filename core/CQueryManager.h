#pragma once

#include "core/CDomainRecord.h"
#include "core/CListAnswers.h"
#include "core/CRecordStore.h"
#include "core/IScanListener.h"
#include "core/SPassSummary.h"
#include "queries/CMetricQuery.h"
#include "queries/CServiceHosts.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CQueryThread;

// The scan controller: the worker thread that scans the rows waiting in a
// record store, with its settings, its pauses and its stop.
//
// AddDomain, RescanAll, RemoveAll, Stop and the settings are called from the
// owner's thread; the worker reads the flags and the interval, single atomic
// values, at the moment of use.
class CQueryManager {
public:
    // The store must outlive the controller; pListener (may be null) hears of
    // added rows and of every row's scan; hosts says where the services are.
    CQueryManager(CRecordStore& store, IScanListener* pListener,
                  CServiceHosts hosts = CServiceHosts::Real());
    // Stops the worker, cancels a request in flight, waits for the thread,
    // then deletes every record of the store.
    virtual ~CQueryManager();

    // Starts the network layer; once per process, before any thread.
    static bool PrepareNetwork() { return CMetricQuery::PrepareNetwork(); }

    CQueryManager(const CQueryManager&) = delete;
    CQueryManager& operator=(const CQueryManager&) = delete;

    CRecordStore& Store() const { return m_store; }

    // Adds the row and starts the worker; false when the domain is in the
    // store already.
    bool AddDomain(const std::string& strDomain);
    // Sends every row back to waiting and starts the worker.
    int RescanAll();
    // Asks again, in the next pass, only the cells whose query failed, and
    // starts the worker; the number of rows that had any.
    std::size_t RescanFailed();
    // Deletes every record. Only while no worker is alive.
    void RemoveAll();

    // Starts a worker unless one is alive: 0. When no thread can be had, -1,
    // with everything as it was and the reason in StartError().
    int StartThread();
    int IsThreadAlive() const;
    // Why the last start failed; empty when it did not.
    const std::string& StartError() const { return m_strStartError; }
    // Asks the worker to end after the row it is scanning. Waits for a
    // source's interval or a Retry-After end at once, and the queries behind
    // them are not asked.
    void Stop();
    bool IsRunning() const { return m_bRunning.load(std::memory_order_relaxed) != 0; }
    // Abandons the request in flight and every pause, for good; safe from
    // any thread and from a signal handler's helper thread.
    void Cancel();
    bool IsCancelled() const { return m_bCancel.load(std::memory_order_relaxed); }

    // Scans every waiting row once on the caller's thread, without a worker.
    // Returns when the pass is through, stopped or cancelled.
    void ScanEveryRowOnce();

    void SetMetricFlag(std::size_t nMetric, bool bOn);
    bool GetMetricFlag(std::size_t nMetric) const;
    void SetInterval(std::int32_t nMilliseconds) {
        m_nInterval.store(nMilliseconds, std::memory_order_relaxed);
    }
    std::int32_t GetInterval() const { return m_nInterval.load(std::memory_order_relaxed); }
    // Shortens the transfer limits; for tests. Set before the worker starts.
    void SetLimits(const STransferLimits& limits) { m_limits = limits; }
    // List sources answer from cached lists only, never downloading. Set
    // before the worker starts.
    void SetListsOffline(bool bOffline) { m_lists.SetOffline(bOffline); }
    void SetListLimits(const STransferLimits& limits) { m_lists.SetLimits(limits); }

protected:
    // Starts the thread; a test may make it fail.
    virtual void LaunchWorker(CQueryThread& thread);

private:
    // What ends a pause early besides cancelling.
    enum class EWake {
        Never,
        OnStop,
        OnStopOrAdd,
    };
    // A source that went on answering 429: asked again only after until.
    struct SSuspension {
        std::chrono::steady_clock::time_point until;
        // The same moment in seconds since 1970, for messages.
        std::int64_t nWallUntil = 0;
        // The last back-off without a Retry-After, in seconds; 0 after an
        // answer that was not a 429.
        int nBackoff = 0;
    };

    // The worker's loop: passes until stopped. A pass that found nothing to
    // ask is not walked again until rows are added or sent back to waiting.
    void QueryLoop();
    // Scans the rows that need it, in index order; false when none did.
    bool ScanPass();
    // Scans the whole row (bWhole) or only its marked cells; counts the
    // cells' outcomes into the pass's summary.
    // Answers whether a service was asked (rather than lists alone).
    bool ScanRecord(CDomainRecord& record, bool bWhole, SPassSummary& summary);
    bool RunQueries(CDomainRecord& record, const std::vector<std::size_t>& metrics, bool bWhole,
                    SPassSummary& summary);
    // A list source's cell, from its list.
    SQueryResult AnswerFromList(std::size_t nMetric, const std::string& strDomain);
    // One metric's query, kept to its source's interval, and asked once more
    // after the time a 429 answer's Retry-After names (up to a minute).
    // Nothing when a stop or a cancel cut a wait short: the query behind it
    // is not asked.
    std::optional<SQueryResult> Ask(CMetricQuery& query, std::size_t nMetric,
                                    const std::string& strDomain);
    // Waits until the metric's source may be asked again; false when cut
    // short.
    bool KeepInterval(std::size_t nMetric);
    // A failed result, without a request, while the metric's source is
    // suspended.
    std::optional<SQueryResult> SuspendedResult(std::size_t nMetric) const;
    // Suspends the source after a 429 that waiting could not cure.
    void NoteRateLimit(std::size_t nMetric, const SQueryResult& result, bool bRepeated);
    // What the pass's summary says beyond its own rows.
    void SummariseList(SPassSummary& summary) const;
    // Sleeps, ending early when cancelled or as wake says; false when ended
    // early.
    bool Pause(std::int32_t nMilliseconds, EWake wake);
    bool ShouldWake(EWake wake, std::uint64_t nAddsBefore) const;
    void WakeWorker();

    CRecordStore& m_store;
    IScanListener* const m_pListener;
    const CServiceHosts m_hosts;

    std::atomic<std::int32_t> m_bRunning{0};
    std::vector<std::atomic<std::int32_t>> m_arrFlags;
    std::atomic<std::int32_t> m_nInterval{1000};
    std::optional<STransferLimits> m_limits;
    // When each metric's source was last asked, and its suspension; the
    // worker's own.
    std::vector<std::chrono::steady_clock::time_point> m_arrLastAsked;
    std::vector<SSuspension> m_arrSuspensions;
    std::unique_ptr<CQueryThread> m_pThread;
    std::string m_strStartError;

    // Set by Cancel and the destructor: abandons requests and pauses.
    std::atomic<bool> m_bCancel{false};
    std::mutex m_pauseLock;
    std::condition_variable m_wake;
    // The worker's own, but for Stop.
    CListAnswers m_lists;
};
