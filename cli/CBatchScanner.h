#pragma once

#include "cli/CScanOptions.h"
#include "core/IScanListener.h"
#include "exchange/CListImporter.h"
#include "queries/CServiceHosts.h"

#include <cstddef>
#include <cstdio>
#include <string>

class CDomainRecord;
class CRecordStore;

// One run of tallyvine-scan: reads the list into a record store, scans every
// row once on the calling thread, then writes the CSV.
class CBatchScanner : private IScanListener {
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
    void OnRowAdded(CDomainRecord& record) override;
    void OnScanBegun(CDomainRecord& record) override;
    void OnScanEnded(CDomainRecord& record) override;
    void OnPassEnded(const SPassSummary& summary) override;
    void OnSkippedLine(std::size_t nLine, CListImporter::ESkip reason, std::string_view strLine);
    bool WriteCsv(const CRecordStore& store);
    void Error(const std::string& strMessage);
    std::string ListName() const;
    // " in shard K/N" when the run scans one shard of several, else empty.
    std::string ShardName() const;

    const CScanOptions m_options;
    const CServiceHosts m_hosts;
    std::FILE* const m_pErr;
    const bool m_bProgress;

    std::size_t m_nTotal = 0;
    std::size_t m_nBegun = 0;
};
