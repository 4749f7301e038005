#pragma once

#include "cli/CScanOptions.h"
#include "core/IScanListener.h"
#include "core/SPassSummary.h"
#include "exchange/CListImporter.h"
#include "queries/CServiceHosts.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

class CDomainRecord;
class CRecordStore;

// One run of tallyvine-scan: reads the list into a record store, scans every
// row once on the calling thread, then writes the CSV or the JSON Lines. A
// termination signal cancels the scan; the rows whose scan ended are written.
class CBatchScanner : private IScanListener {
public:
    // Exit codes of the program.
    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1;
    static constexpr int kBadUsage = 2;
    // Written, but some asked cell failed.
    static constexpr int kSomeFailed = 3;
    // Cancelled by a signal: this plus its number.
    static constexpr int kSignalled = 128;

    // pErr takes warnings, errors and (when bProgress) the progress lines.
    CBatchScanner(CScanOptions options, CServiceHosts hosts, std::FILE* pErr, bool bProgress);

    // Runs the scan; answers the exit code.
    int Run();

private:
    void OnRowAdded(CDomainRecord& record) override;
    void OnScanBegun(CDomainRecord& record) override;
    void OnScanEnded(CDomainRecord& record) override;
    void OnPassEnded(const SPassSummary& summary) override;
    void OnListProgress(const std::string& strTitle, const SListProgress& progress) override;
    void OnSkippedLine(std::size_t nLine, CListImporter::ESkip reason, std::string_view strLine);
    // Reads the list into the store; false, with the error shown, when it
    // cannot be read.
    bool ReadList(CRecordStore& store);
    // The summary, and how a signal cut the scan short.
    void ReportScan(int nSignal) const;
    // Counts the ended row's cells, warning of each metric's first failure
    // for each reason.
    void Tally(const CDomainRecord& record);
    void Warn(std::size_t nMetric, const SCellState& state) const;
    void PrintSummary() const;
    // Writes the CSV or the JSON Lines; when interrupted, only the rows whose
    // scan ended.
    bool WriteOutput(const CRecordStore& store, bool bInterrupted) const;
    // The ticked metrics without a fixed CSV column, which get one.
    std::vector<std::size_t> TickedExtraMetrics() const;
    // Whether a row's scan ended; only for a run cut short.
    bool Ended(const CDomainRecord& record) const;
    // The exit code of a scan whose output was written.
    int WrittenCode(int nSignal) const;
    void Error(const std::string& strMessage) const;
    std::string ListName() const;
    // " in shard K/N" when the run scans one shard of several, else empty.
    std::string ShardName() const;

    const CScanOptions m_options;
    const CServiceHosts m_hosts;
    std::FILE* const m_pErr;
    const bool m_bProgress;

    std::size_t m_nTotal = 0;
    std::size_t m_nBegun = 0;
    // The rows whose scan ended, in the order they ended.
    std::vector<const CDomainRecord*> m_arrEnded;
    std::vector<SMetricTally> m_arrTallies;
    // When the last line on a list's download was shown.
    std::chrono::steady_clock::time_point m_tListShown;
};
