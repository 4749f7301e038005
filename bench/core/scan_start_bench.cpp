// How long a name added to a long, fully scanned list waits before its scan
// begins, side by side:
//   - a step a row: the walk that visits every row with a millisecond's
//     pause, as the worker walked before; timed over a few thousand steps of
//     the same list and scaled to the added name's place (the last), plus
//     the second between passes;
//   - the worker: the scan controller's own worker, idle over the list,
//     timed from AddDomain to the row's scan beginning, for a name that
//     sorts last and one that sorts first.
// It also prints what an idle pass over the list and a pass's summary of
// the whole list cost. Every row holds PageRank and two counts, one failed.
//   tallyvine_scan_start_bench [ROWS]

#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "core/CRecordStore.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// Notes when each row's scan begins and when a pass's summary arrives.
class CTimes : public IScanListener {
public:
    void OnRowAdded(CDomainRecord&) override {}
    void OnScanBegun(CDomainRecord&) override { Note(m_begun); }
    void OnScanEnded(CDomainRecord&) override { Note(m_ended); }
    void OnPassEnded(const SPassSummary&) override { Note(m_passEnded); }

    void Reset() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_begun.reset();
        m_ended.reset();
        m_passEnded.reset();
    }
    // Waits for the pass that scanned the row to end; false on time-out.
    bool WaitForPass(std::chrono::seconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_passEnded.has_value(); });
    }
    Clock::time_point Begun() const { return Get(m_begun); }
    Clock::time_point Ended() const { return Get(m_ended); }
    Clock::time_point PassEnded() const { return Get(m_passEnded); }

private:
    void Note(std::optional<Clock::time_point>& at) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            at = Clock::now();
        }
        m_changed.notify_all();
    }
    Clock::time_point Get(const std::optional<Clock::time_point>& at) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return at.value_or(Clock::time_point());
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Clock::time_point> m_begun;
    std::optional<Clock::time_point> m_ended;
    std::optional<Clock::time_point> m_passEnded;
};

std::string RowName(std::size_t n) {
    char szName[32];
    std::snprintf(szName, sizeof szName, "row%07zu.example", n);
    return szName;
}

// Rows as a scan leaves them: PageRank and two counts, one of them failed.
void FillScanned(CRecordStore& store, std::size_t nRows) {
    SQueryResult value;
    value.state.outcome = EOutcome::Value;
    value.state.nHttpStatus = 200;
    SQueryResult blocked;
    blocked.state.outcome = EOutcome::Failed;
    blocked.state.reason = EFailReason::Blocked;
    blocked.state.nHttpStatus = 429;
    for (std::size_t n = 0; n < nRows; ++n) {
        CDomainRecord& record = *store.AddDomain(RowName(n));
        record.BeginScan(1'700'000'000);
        value.strValue = "3";
        record.SetResult(CMetricTable::PageRankMetric(), value, true, 1'700'000'000);
        value.strValue = "1,230";
        record.SetResult(*CMetricTable::Find("GSite"), value, true, 1'700'000'000);
        record.SetResult(*CMetricTable::Find("BSite"), blocked, true, 1'700'000'000);
    }
}

// The walk of a step a row: each step finds the next row again and pauses
// a millisecond on a condition variable, as the worker's pause did.
double SecondsPerStep(const CRecordStore& store, std::size_t nSteps) {
    std::mutex pauseLock;
    std::condition_variable wake;
    std::size_t nTaken = 0;
    const auto start = Clock::now();
    for (CDomainRecord* pRecord = store.First(); pRecord != nullptr && nTaken < nSteps;
         pRecord = store.Next(*pRecord), ++nTaken) {
        if (!pRecord->IsScanned()) {
            std::abort(); // every row is scanned
        }
        std::unique_lock<std::mutex> lock(pauseLock);
        wake.wait_for(lock, 1ms, [] { return false; });
    }
    return Seconds(Clock::now() - start) / static_cast<double>(nTaken);
}

// Adds a name to the idle worker's list; seconds until its scan began, and
// until the summary of the pass that scanned it arrived after its end.
void TimeAnAdd(CQueryManager& manager, CTimes& times, const char* pszName) {
    times.Reset();
    const auto start = Clock::now();
    manager.AddDomain(pszName);
    if (!times.WaitForPass(120s)) {
        std::printf("  %-14s not begun within two minutes\n", pszName);
        return;
    }
    std::printf("  %-14s begun after %8.3f s; pass summary %6.3f s after its end\n", pszName,
                Seconds(times.Begun() - start), Seconds(times.PassEnded() - times.Ended()));
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t nRows = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1'000'000;
    CRecordStore store;
    FillScanned(store, nRows);
    std::printf("%zu scanned rows\n", nRows);

    constexpr std::size_t kSteps = 3000;
    const double dStep = SecondsPerStep(store, kSteps);
    const double dBefore = dStep * static_cast<double>(nRows) + 1.0;
    std::printf("a step a row: %.3f ms a step over %zu steps; a name sorting last begins after "
                "about %.0f s (%.1f min)\n",
                dStep * 1000.0, kSteps, dBefore, dBefore / 60.0);

    const auto walkStart = Clock::now();
    const CDomainRecord* pFound =
        store.FindAfter(nullptr, [](const CDomainRecord& record) { return record.NeedsScan(); });
    std::printf("the worker: an idle pass over the list takes %.3f s (%s)\n",
                Seconds(Clock::now() - walkStart), pFound == nullptr ? "nothing to scan" : "?");

    CTimes times;
    // Nothing listens on the discard port: each query fails at once.
    CQueryManager manager(store, &times, CServiceHosts::AllOn("127.0.0.1:9"));
    for (std::size_t i = 0; i < CMetricTable::Count(); ++i) {
        manager.SetMetricFlag(i, i == CMetricTable::PageRankMetric());
    }
    manager.SetInterval(0);
    manager.StartThread();
    // The first pass finds nothing; the worker then rests between passes.
    std::this_thread::sleep_for(2500ms);
    TimeAnAdd(manager, times, "zzzz.example");
    std::this_thread::sleep_for(1500ms);
    TimeAnAdd(manager, times, "0000.example");
    manager.Stop();
    return 0;
}
