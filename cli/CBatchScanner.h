#pragma once

#include "cli/CRowWriter.h"
#include "cli/CScanOptions.h"
#include "core/IScanListener.h"
#include "core/SPassSummary.h"
#include "exchange/CListImporter.h"
#include "queries/CServiceHosts.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CDomainRecord;
class CPartFile;
class CQueryManager;
class CRecordStore;
class CReplacingFile;

// One run of tallyvine-scan: reads the list into a record store, scans every
// row once on the calling thread and writes each row as its scan ends, in
// the CSV or the JSON Lines: to FILE.part, moved onto FILE at the end, or to
// standard output. A termination signal cancels the scan; the rows whose
// scan ended stay written. --resume reads back the rows of FILE.part (or of
// FILE) and scans only the rest; with --retry-failed it asks their failed
// cells again and writes every row anew.
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
    ~CBatchScanner();

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
    // Writes the CSV or the JSON Lines at the end, for an output that cannot
    // take rows as they come; when interrupted, only the rows whose scan ended.
    bool WriteOutput(const CRecordStore& store, bool bInterrupted) const;
    void ReportEmptyList() const;
    bool WritesToStandardOutput() const;
    // Each answers kSuccess, or the exit code with the error shown.
    int OpenOutput(CRecordStore& store);
    int OpenFile(CRecordStore& store, const std::string& strHead, const CDomainRecord*& pFirst);
    int OpenRetry(CRecordStore& store);
    // Takes the bytes of nRows rows to wherever the output goes; a failure
    // cancels the scan.
    bool Put(std::string_view bytes, std::size_t nRows);
    // Writes what Put gathered; false when it cannot be written.
    bool PutGathered();
    bool Write(std::string_view bytes, std::size_t nRows);
    // Whether every ticked source is a list source.
    bool AsksListsOnly() const;
    bool FinishOutput(const CRecordStore& store, bool bInterrupted);
    void ReportWriteFailure() const;
    void ShowProgress(std::string_view strDomain);
    void ClearProgress() const;
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
    std::size_t m_nEndedWhole = 0;
    std::size_t m_nResumed = 0; // rows read back from the file
    std::size_t m_nRetried = 0; // of those, the rows with failed cells
    CQueryManager* m_pManager = nullptr;

    // Where the rows go: a part file, a rewrite of FILE (--retry-failed),
    // a descriptor, or, when the folder takes no new file, FILE at the end.
    std::unique_ptr<CPartFile> m_pPart;
    std::unique_ptr<CReplacingFile> m_pRewrite;
    int m_fdStream = -1;
    std::string m_strStreamName;
    std::string m_strStreamError;
    bool m_bAtEnd = false;
    bool m_bHeadWritten = false;
    bool m_bWriteFailed = false;
    // Rows gathered to be written together: only while every source asked
    // is a list, where a row ends within microseconds and a write a row
    // would take most of the scan's time. A crash loses at most the last
    // tenth of a second of such rows, which --resume asks again at once.
    bool m_bGather = false;
    std::string m_strGathered;
    std::size_t m_nGatheredRows = 0;
    std::chrono::steady_clock::time_point m_tGathered;
    std::unique_ptr<CRowWriter> m_pWriter;
    // The row being scanned, and whether its whole scan (not a retry of cells).
    const CDomainRecord* m_pInFlight = nullptr;
    bool m_bInFlightWhole = false;

    std::chrono::steady_clock::time_point m_tStart;
    mutable bool m_bProgressShown = false;
    // The rows whose scan ended, in the order they ended.
    std::vector<const CDomainRecord*> m_arrEnded;
    std::vector<SMetricTally> m_arrTallies;
    std::vector<SCellState> m_arrStates; // the row's cells, for Tally
    // When the last line on a list's download was shown.
    std::chrono::steady_clock::time_point m_tListShown;
};
