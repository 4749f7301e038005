#pragma once

#include "cli/CScanOptions.h"
#include "exchange/CListImporter.h"
#include "queries/CServiceHosts.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>

class CDomainRecord;
class CQueryManager;

// One run of tallyvine-scan: reads the list into a scan controller, lets its
// worker scan every row once, then writes the CSV.
class CBatchScanner {
public:
    // Exit codes of the program.
    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1;
    static constexpr int kBadUsage = 2;

    // pErr takes warnings, errors and (when bProgress) the progress lines.
    CBatchScanner(CScanOptions options, CServiceHosts hosts, std::FILE* pErr, bool bProgress);

    // Runs the scan; answers the exit code.
    int Run();

private:
    void OnMessage(unsigned nMessage, CDomainRecord* pRecord);
    void OnSkippedLine(std::size_t nLine, CListImporter::ESkip reason, std::string_view strLine);
    void WaitForEveryRow(std::size_t nRows);
    bool WriteCsv(CQueryManager& manager);
    void Error(const std::string& strMessage);
    std::string ListName() const;
    // " in shard K/N" when the run scans one shard of several, else empty.
    std::string ShardName() const;

    const CScanOptions m_options;
    const CServiceHosts m_hosts;
    std::FILE* const m_pErr;
    const bool m_bProgress;

    std::atomic<std::size_t> m_nTotal{0};
    std::atomic<std::size_t> m_nBegun{0};
    std::mutex m_lock;
    std::condition_variable m_rowEnded;
    std::size_t m_nEnded = 0;
};
