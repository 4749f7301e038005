#include "cli/CBatchScanner.h"

#include "cli/CSignalWatch.h"
#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "core/CRecordStore.h"
#include "exchange/CCsvExporter.h"
#include "exchange/CJsonLinesExporter.h"

#include <algorithm>
#include <atomic>

#include <unistd.h>

namespace {

constexpr const char* kProgram = "tallyvine-scan";
constexpr std::size_t kShownLineBytes = 60;
constexpr std::size_t kShownDetailBytes = 200;

// A text from outside (a skipped line, an address) as it can be shown on a
// terminal: other bytes escaped, long texts cut.
std::string Printable(std::string_view strLine, std::size_t nShownBytes = kShownLineBytes) {
    std::string strShown;
    for (std::size_t i = 0; i < strLine.size() && strShown.size() < nShownBytes; ++i) {
        const auto c = static_cast<unsigned char>(strLine[i]);
        if (c >= 0x20 && c < 0x7F) {
            strShown += static_cast<char>(c);
        } else {
            char szHex[8];
            std::snprintf(szHex, sizeof szHex, "\\x%02X", c);
            strShown += szHex;
        }
    }
    return strShown.size() < nShownBytes ? strShown : strShown + "...";
}

// "1 row", "2 rows".
std::string Counted(std::size_t n, const std::string& strNoun) {
    return std::to_string(n) + " " + strNoun + (n == 1 ? "" : "s");
}

const char* SkipReason(CListImporter::ESkip reason) {
    switch (reason) {
    case CListImporter::ESkip::NotADomain:
        return "not a domain name";
    case CListImporter::ESkip::Duplicate:
        return "repeats an earlier name";
    case CListImporter::ESkip::TooLong:
        return "line too long";
    case CListImporter::ESkip::AfterZeroByte:
        break;
    }
    return "a zero byte ends the text here; the rest of the list is ignored";
}

} // namespace

CBatchScanner::CBatchScanner(CScanOptions options, CServiceHosts hosts, std::FILE* pErr,
                             bool bProgress)
    : m_options(std::move(options)), m_hosts(std::move(hosts)), m_pErr(pErr),
      m_bProgress(bProgress), m_arrTallies(CMetricTable::Count()) {}

int CBatchScanner::Run() {
    CRecordStore store;
    CQueryManager manager(store, this, m_hosts);
    for (std::size_t i = 0; i < m_options.bMetrics.size(); ++i) {
        manager.SetMetricFlag(i, m_options.bMetrics[i]);
    }
    manager.SetInterval(m_options.nInterval);
    manager.SetListsOffline(m_options.bOffline);
    // Nothing is written before the scan starts, so a signal while the list
    // is read ends the run at once.
    std::atomic<bool> bScanning{false};
    const CSignalWatch signals([&](int nSignal) {
        if (!bScanning.load()) {
            std::fprintf(m_pErr, "%s: stopped by %s while reading the list; nothing written\n",
                         kProgram, CSignalWatch::Name(nSignal));
            _exit(kSignalled + nSignal);
        }
        manager.Cancel();
    });

    if (!ReadList(store)) {
        return kFailure;
    }
    m_nTotal = store.GetCount();
    if (m_nTotal == 0) {
        if (!m_options.bQuiet) {
            std::fprintf(m_pErr, "%s: %s holds no domain name%s; nothing written\n", kProgram,
                         ListName().c_str(), ShardName().c_str());
        }
        return kSuccess;
    }
    bScanning.store(true);
    manager.ScanEveryRowOnce();
    const int nSignal = signals.Caught();
    ReportScan(nSignal);
    if (nSignal != 0) {
        std::sort(m_arrEnded.begin(), m_arrEnded.end());
    }
    return WriteOutput(store, nSignal != 0) ? WrittenCode(nSignal) : kFailure;
}

bool CBatchScanner::ReadList(CRecordStore& store) {
    const CListImporter importer(
        [&store](const std::string& strDomain) { return store.AddDomain(strDomain) != nullptr; },
        [this](std::size_t nLine, CListImporter::ESkip reason, std::string_view strLine) {
            OnSkippedLine(nLine, reason, strLine);
        },
        [this](std::string_view strLine) { return m_options.shard.Takes(strLine); });
    const bool bStdin = m_options.strList.empty() || m_options.strList == "-";
    const CListImporter::SResult result =
        bStdin ? importer.ImportDescriptor(STDIN_FILENO) : importer.ImportFile(m_options.strList);
    if (!result.bComplete) {
        Error("cannot read " + ListName() + ": " + result.strError);
    }
    return result.bComplete;
}

void CBatchScanner::ReportScan(int nSignal) const {
    if (!m_options.bQuiet) {
        PrintSummary();
    }
    // Said even when quiet: it explains the exit status and the rows missing.
    if (nSignal != 0) {
        std::fprintf(m_pErr, "%s: stopped by %s; %zu of %zu rows left unscanned\n", kProgram,
                     CSignalWatch::Name(nSignal), m_nTotal - m_arrEnded.size(), m_nTotal);
    }
}

int CBatchScanner::WrittenCode(int nSignal) const {
    if (nSignal != 0) {
        return kSignalled + nSignal;
    }
    for (const SMetricTally& tally : m_arrTallies) {
        if (tally.nFailed > 0) {
            return kSomeFailed;
        }
    }
    return kSuccess;
}

void CBatchScanner::OnRowAdded(CDomainRecord&) {}

void CBatchScanner::OnScanBegun(CDomainRecord& record) {
    if (m_bProgress) {
        std::fprintf(m_pErr, "%s: row %zu of %zu: %s\n", kProgram, ++m_nBegun, m_nTotal,
                     std::string(record.GetDomain()).c_str());
    }
}

void CBatchScanner::OnScanEnded(CDomainRecord& record) {
    m_arrEnded.push_back(&record);
    Tally(record);
}

void CBatchScanner::Tally(const CDomainRecord& record) {
    for (std::size_t nMetric = 0; nMetric < m_arrTallies.size(); ++nMetric) {
        const SCellState state = record.GetCellState(nMetric);
        SMetricTally& tally = m_arrTallies[nMetric];
        tally.Count(state);
        const std::size_t nReason = static_cast<std::size_t>(state.reason);
        if (state.outcome == EOutcome::Failed && tally.arrByReason[nReason] == 1) {
            Warn(nMetric, state);
        }
    }
}

void CBatchScanner::Warn(std::size_t nMetric, const SCellState& state) const {
    if (m_options.bQuiet) {
        return;
    }
    std::string strText = CMetricTable::At(nMetric).strId + ": ";
    strText += ReasonPhrase(state.reason);
    if (state.nHttpStatus != 0) {
        strText += " (HTTP " + std::to_string(state.nHttpStatus) + ")";
    }
    if (!state.strDetail.empty()) {
        strText += ": " + Printable(state.strDetail, kShownDetailBytes);
    }
    Error(strText);
}

void CBatchScanner::PrintSummary() const {
    SMetricTally total;
    for (const SMetricTally& tally : m_arrTallies) {
        total.nValues += tally.nValues;
        total.nNone += tally.nNone;
        total.nFailed += tally.nFailed;
    }
    std::fprintf(m_pErr, "%s: %s scanned: %s, %zu none, %zu failed\n", kProgram,
                 Counted(m_arrEnded.size(), "row").c_str(), Counted(total.nValues, "value").c_str(),
                 total.nNone, total.nFailed);
    for (std::size_t nMetric = 0; nMetric < m_arrTallies.size(); ++nMetric) {
        const SMetricTally& tally = m_arrTallies[nMetric];
        if (tally.nFailed == 0) {
            continue;
        }
        std::string strReasons;
        for (std::size_t nReason = 0; nReason < tally.arrByReason.size(); ++nReason) {
            if (tally.arrByReason[nReason] > 0) {
                strReasons += (strReasons.empty() ? "" : ", ") +
                              std::string(ReasonName(static_cast<EFailReason>(nReason))) + " " +
                              std::to_string(tally.arrByReason[nReason]);
            }
        }
        std::fprintf(m_pErr, "%s: %s failed %zu of %zu: %s\n", kProgram,
                     CMetricTable::At(nMetric).strId.c_str(), tally.nFailed, tally.nAsked,
                     strReasons.c_str());
    }
}

void CBatchScanner::OnPassEnded(const SPassSummary& summary) {
    if (const std::string strSuspended = summary.SuspensionText();
        !strSuspended.empty() && !m_options.bQuiet) {
        Error(strSuspended);
    }
}

void CBatchScanner::OnListProgress(const std::string& strTitle, const SListProgress& progress) {
    // A line a second at most: a large list reports often.
    const auto tNow = std::chrono::steady_clock::now();
    if (!m_bProgress || tNow - m_tListShown < std::chrono::seconds(1)) {
        return;
    }
    m_tListShown = tNow;
    Error(CListAnswers::ProgressText(strTitle, progress));
}

void CBatchScanner::OnSkippedLine(std::size_t nLine, CListImporter::ESkip reason,
                                  std::string_view strLine) {
    if (m_options.bQuiet) {
        return;
    }
    std::string strShown;
    if (!strLine.empty()) {
        strShown = " '" + Printable(strLine) + "'";
    }
    std::fprintf(m_pErr, "%s: %s:%zu: skipped%s: %s\n", kProgram, ListName().c_str(), nLine,
                 strShown.c_str(), SkipReason(reason));
}

bool CBatchScanner::WriteOutput(const CRecordStore& store, bool bInterrupted) const {
    CCsvExporter::RowFilter pfnFilter;
    if (bInterrupted) {
        pfnFilter = [this](const CDomainRecord& record) { return Ended(record); };
    }
    const bool bStdout = m_options.strOutput.empty() || m_options.strOutput == "-";
    std::string strError;
    bool bWritten = false;
    if (m_options.format == CScanOptions::EFormat::Csv) {
        CCsvExporter exporter;
        exporter.SetExtraMetrics(TickedExtraMetrics());
        exporter.SetRowFilter(std::move(pfnFilter));
        bWritten = bStdout ? exporter.WriteCsv(store, STDOUT_FILENO, &strError)
                           : exporter.ExportCsv(store, m_options.strOutput, &strError);
    } else {
        CJsonLinesExporter exporter;
        exporter.SetRowFilter(std::move(pfnFilter));
        bWritten = bStdout ? exporter.WriteJsonLines(store, STDOUT_FILENO, &strError)
                           : exporter.ExportJsonLines(store, m_options.strOutput, &strError);
    }
    if (!bWritten) {
        Error(strError);
    }
    return bWritten;
}

std::vector<std::size_t> CBatchScanner::TickedExtraMetrics() const {
    std::vector<std::size_t> arrExtra;
    for (std::size_t nMetric = 0; nMetric < m_options.bMetrics.size(); ++nMetric) {
        if (m_options.bMetrics[nMetric] && CMetricTable::ExportedWhenTicked(nMetric)) {
            arrExtra.push_back(nMetric);
        }
    }
    return arrExtra;
}

bool CBatchScanner::Ended(const CDomainRecord& record) const {
    return std::binary_search(m_arrEnded.begin(), m_arrEnded.end(), &record);
}

void CBatchScanner::Error(const std::string& strMessage) const {
    std::fprintf(m_pErr, "%s: %s\n", kProgram, strMessage.c_str());
}

std::string CBatchScanner::ShardName() const {
    const CShard& shard = m_options.shard;
    if (shard.nCount == 1) {
        return {};
    }
    return " in shard " + std::to_string(shard.nIndex) + "/" + std::to_string(shard.nCount);
}

std::string CBatchScanner::ListName() const {
    const bool bStdin = m_options.strList.empty() || m_options.strList == "-";
    return bStdin ? std::string("standard input") : m_options.strList;
}
