#include "cli/CBatchScanner.h"

#include "cli/CResumedRows.h"
#include "cli/CSignalWatch.h"
#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "core/CRecordStore.h"
#include "exchange/CCsvExporter.h"
#include "exchange/CJsonLinesExporter.h"
#include "exchange/CPartFile.h"
#include "exchange/CReplacingFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
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

CBatchScanner::~CBatchScanner() = default;

int CBatchScanner::Run() {
    CRecordStore store;
    CQueryManager manager(store, this, m_hosts);
    for (std::size_t i = 0; i < m_options.bMetrics.size(); ++i) {
        manager.SetMetricFlag(i, m_options.bMetrics[i]);
    }
    manager.SetInterval(m_options.nInterval);
    manager.SetListsOffline(m_options.bOffline);
    m_pManager = &manager;
    // Nothing is written before the scan starts, so a signal while the list
    // is read ends the run at once.
    std::atomic<bool> bScanning{false};
    const CSignalWatch signals(
        [&](int nSignal) {
            if (!bScanning.load()) {
                std::fprintf(m_pErr, "%s: stopped by %s while reading the list; nothing written\n",
                             kProgram, CSignalWatch::Name(nSignal));
                _exit(kSignalled + nSignal);
            }
            manager.Cancel();
        },
        // Rows already in a part file stay for --resume; half-written copies go.
        [] { CReplacingFile::RemoveTemporaryFiles(); });

    if (!ReadList(store)) {
        return kFailure;
    }
    m_nTotal = store.GetCount();
    if (m_nTotal == 0) {
        ReportEmptyList();
        return kSuccess;
    }
    const int nOpened = OpenOutput(store);
    if (nOpened != kSuccess) {
        return nOpened;
    }
    bScanning.store(true);
    m_tStart = std::chrono::steady_clock::now();
    manager.ScanEveryRowOnce();
    const int nSignal = signals.Caught();
    const bool bWritten = !m_bWriteFailed && FinishOutput(store, nSignal != 0);
    ReportScan(nSignal);
    if (!bWritten) {
        ReportWriteFailure();
        return kFailure;
    }
    return WrittenCode(nSignal);
}

void CBatchScanner::ReportEmptyList() const {
    const bool bOldFile =
        !WritesToStandardOutput() && access(m_options.strOutput.c_str(), F_OK) == 0;
    // An old output that stays could be taken for this run's: said even when quiet.
    if (bOldFile) {
        std::fprintf(m_pErr, "%s: %s holds no domain name%s; nothing written, %s left as it was\n",
                     kProgram, ListName().c_str(), ShardName().c_str(),
                     m_options.strOutput.c_str());
    } else if (!m_options.bQuiet) {
        std::fprintf(m_pErr, "%s: %s holds no domain name%s; nothing written\n", kProgram,
                     ListName().c_str(), ShardName().c_str());
    }
}

bool CBatchScanner::WritesToStandardOutput() const {
    return m_options.strOutput.empty() || m_options.strOutput == "-";
}

int CBatchScanner::OpenOutput(CRecordStore& store) {
    const bool bCsv = m_options.format == CScanOptions::EFormat::Csv;
    CCsvExporter csv;
    csv.SetExtraMetrics(TickedExtraMetrics());
    const std::string strHead = bCsv ? csv.HeaderLine() : std::string();
    CRowWriter::LineBuilder pfnLine = [csv](const CDomainRecord& record, std::string& strOut) {
        csv.AppendRecordLine(record, strOut);
    };
    if (!bCsv) {
        pfnLine = [](const CDomainRecord& record, std::string& strOut) {
            strOut += CJsonLinesExporter::RecordLine(record);
        };
    }
    const CDomainRecord* pFirst = store.First();
    if (WritesToStandardOutput()) {
        m_fdStream = STDOUT_FILENO;
        m_strStreamName = "standard output";
    } else {
        const int nOpened = OpenFile(store, strHead, pFirst);
        if (nOpened != kSuccess || m_bAtEnd) {
            return nOpened;
        }
    }
    m_pWriter = std::make_unique<CRowWriter>(
        store, pFirst, std::move(pfnLine),
        [this](std::string_view bytes, std::size_t nRows) { return Put(bytes, nRows); });
    const bool bHead = bCsv && !m_bHeadWritten;
    if (bHead && !m_pWriter->WriteHead(strHead)) {
        ReportWriteFailure();
        // A part file with nothing in it is no scan to go on with.
        if (m_pPart && m_nResumed == 0) {
            m_pPart->Remove();
        }
        return kFailure;
    }
    m_bGather = AsksListsOnly();
    return kSuccess;
}

int CBatchScanner::OpenFile(CRecordStore& store, const std::string& strHead,
                            const CDomainRecord*& pFirst) {
    const std::string& strOutput = m_options.strOutput;
    const std::string strTarget = CReplacingFile::TargetOf(strOutput);
    struct stat info {};
    if (stat(strTarget.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        // A device or a pipe takes the rows as they come and cannot be resumed.
        if (m_options.bResume) {
            Error("cannot go on with " + strOutput + ": not a regular file");
            return kFailure;
        }
        m_fdStream = open(strTarget.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        m_strStreamName = strOutput;
        if (m_fdStream < 0) {
            Error("cannot open " + strOutput + ": " + std::strerror(errno));
            return kFailure;
        }
        return kSuccess;
    }
    m_pPart = std::make_unique<CPartFile>(strOutput);
    CPartFile::EOpen opened = m_options.bResume ? m_pPart->Resume() : CPartFile::EOpen::Missing;
    if (opened == CPartFile::EOpen::Missing) {
        opened = m_pPart->Create();
    }
    const std::string& strPart = m_pPart->PartPath();
    switch (opened) {
    case CPartFile::EOpen::Opened:
        break;
    case CPartFile::EOpen::Exists:
        Error(strPart + " holds the rows of a scan that did not end: go on with it with "
                        "--resume, or remove it");
        return kFailure;
    case CPartFile::EOpen::Busy:
        Error("another tallyvine-scan is writing " + strOutput + " (" + strPart + " is locked)");
        return kFailure;
    case CPartFile::EOpen::Refused:
        // The folder takes no new file, but the file in it may be rewritten
        // at the end, as a whole export does.
        if (!m_options.bResume && access(strTarget.c_str(), W_OK) == 0) {
            m_pPart.reset();
            m_bAtEnd = true;
            return kSuccess;
        }
        Error(m_pPart->Error());
        return kFailure;
    case CPartFile::EOpen::Missing:
    case CPartFile::EOpen::Failed:
        Error(m_pPart->Error());
        return kFailure;
    }
    if (!m_options.bResume) {
        return kSuccess;
    }
    const std::string strFileName = m_pPart->FromFinishedFile() ? strOutput : strPart;
    CResumedRows rows(m_options, strHead, m_options.bRetryFailed);
    if (!rows.Read(*m_pPart, store, strFileName, ListName() + ShardName())) {
        Error(rows.Error());
        if (m_pPart->FromFinishedFile()) {
            m_pPart->Remove();
        }
        return kFailure;
    }
    m_nResumed = rows.Count();
    if (!m_options.bQuiet) {
        std::fprintf(m_pErr, "%s: going on after the %s already in %s\n", kProgram,
                     Counted(m_nResumed, "row").c_str(), strFileName.c_str());
    }
    if (m_options.bRetryFailed) {
        return OpenRetry(store);
    }
    m_bHeadWritten = rows.HasHead();
    if (rows.Last() != nullptr) {
        pFirst = store.Next(*rows.Last());
    }
    return kSuccess;
}

// Every row is written anew beside FILE, which takes its place at the end;
// the part file keeps what was written until then.
int CBatchScanner::OpenRetry(CRecordStore& store) {
    store.ForEachRecord([this](CDomainRecord& record) {
        if (record.MarkFailedCells()) {
            ++m_nRetried;
        }
    });
    m_pRewrite = std::make_unique<CReplacingFile>(m_options.strOutput);
    if (!m_pRewrite->Open()) {
        Error(m_pRewrite->Error());
        return kFailure;
    }
    return kSuccess;
}

namespace {

constexpr std::size_t kGatheredBytes = 256u << 10;
constexpr auto kGatheredTime = std::chrono::milliseconds(100);

} // namespace

bool CBatchScanner::AsksListsOnly() const {
    bool bAny = false;
    for (std::size_t i = 0; i < m_options.bMetrics.size() && i < CMetricTable::Count(); ++i) {
        if (m_options.bMetrics[i]) {
            if (!CMetricTable::At(i).listSource.IsSet()) {
                return false;
            }
            bAny = true;
        }
    }
    return bAny;
}

bool CBatchScanner::Put(std::string_view bytes, std::size_t nRows) {
    if (!m_bGather) {
        return Write(bytes, nRows);
    }
    const auto tNow = std::chrono::steady_clock::now();
    if (m_strGathered.empty()) {
        m_tGathered = tNow;
    }
    m_strGathered += bytes;
    m_nGatheredRows += nRows;
    if (m_strGathered.size() < kGatheredBytes && tNow - m_tGathered < kGatheredTime) {
        return !m_bWriteFailed;
    }
    return PutGathered();
}

bool CBatchScanner::PutGathered() {
    if (m_strGathered.empty()) {
        return !m_bWriteFailed;
    }
    const bool bPut = Write(m_strGathered, m_nGatheredRows);
    m_strGathered.clear();
    m_nGatheredRows = 0;
    return bPut;
}

bool CBatchScanner::Write(std::string_view bytes, std::size_t nRows) {
    if (m_bWriteFailed) {
        return false;
    }
    bool bPut = true;
    if (m_pRewrite) {
        bPut = m_pRewrite->Write(bytes);
    } else if (m_pPart) {
        bPut = m_pPart->Append(bytes, nRows);
    } else {
        bPut = CReplacingFile::WriteAll(m_fdStream, bytes, m_strStreamError);
    }
    if (!bPut) {
        // Scanning on with nowhere to put the rows would only waste the services' time.
        m_bWriteFailed = true;
        m_pManager->Cancel();
    }
    return bPut;
}

bool CBatchScanner::FinishOutput(const CRecordStore& store, bool bInterrupted) {
    if (m_bAtEnd) {
        std::sort(m_arrEnded.begin(), m_arrEnded.end());
        return WriteOutput(store, bInterrupted);
    }
    // Cut short, the rows whose scan did not end stay out, except those read
    // back from the file, which are written whole.
    const bool bWritten = m_pWriter->WriteRest([&](const CDomainRecord& record) {
        return !bInterrupted ||
               (record.IsScanned() && !(&record == m_pInFlight && m_bInFlightWhole));
    });
    if (!bWritten || !PutGathered()) {
        return false;
    }
    if (m_pRewrite) {
        if (!m_pRewrite->Commit()) {
            m_bWriteFailed = true;
            return false;
        }
        m_pPart->Remove();
        return true;
    }
    if (m_pPart && !m_pPart->Finish()) {
        m_bWriteFailed = true;
        return false;
    }
    if (m_fdStream > STDERR_FILENO) {
        close(m_fdStream);
    }
    return true;
}

void CBatchScanner::ReportWriteFailure() const {
    if (m_pRewrite) {
        Error(m_pRewrite->Error() + "; " + m_options.strOutput + " and " + m_pPart->PartPath() +
              " are left as they were");
    } else if (m_pPart) {
        const std::size_t nSafe = m_nResumed + m_pPart->DurableRows();
        Error(m_pPart->Error() + "; " + Counted(nSafe, "row") + " safe in " + m_pPart->PartPath() +
              ": go on with --resume once it can be written");
    } else if (!m_strStreamError.empty()) {
        Error("cannot write " + m_strStreamName + ": " + m_strStreamError);
    }
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
    ClearProgress();
    if (!m_options.bQuiet) {
        PrintSummary();
    }
    // Said even when quiet: it explains the exit status and the rows missing.
    if (nSignal != 0) {
        std::fprintf(m_pErr, "%s: stopped by %s; %zu of %zu rows left unscanned\n", kProgram,
                     CSignalWatch::Name(nSignal), m_nTotal - m_nResumed - m_nEndedWhole, m_nTotal);
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
    m_pInFlight = &record;
    m_bInFlightWhole = !record.IsScanned();
    if (!m_bInFlightWhole && m_pWriter) {
        m_pWriter->KeepLine(&record, m_pWriter->LineOf(record));
    }
    ++m_nBegun;
    ShowProgress(record.GetDomain());
}

void CBatchScanner::OnScanEnded(CDomainRecord& record) {
    m_arrEnded.push_back(&record);
    m_nEndedWhole += m_bInFlightWhole ? 1 : 0;
    m_pInFlight = nullptr;
    if (m_pWriter) {
        m_pWriter->KeepLine(nullptr, {});
    }
    Tally(record);
    if (m_pWriter) {
        m_pWriter->WriteUpTo(record);
    }
}

// One line, rewritten in place: rows done of all, the rate, the time left
// at that rate, the failures so far, and the row being asked.
void CBatchScanner::ShowProgress(std::string_view strDomain) {
    if (!m_bProgress) {
        return;
    }
    const std::size_t nDone = m_arrEnded.size();
    const double dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_tStart).count();
    std::string strRate = "-";
    std::string strLeft = "-";
    if (nDone > 0 && dSeconds > 0) {
        const double dRate = static_cast<double>(nDone) / dSeconds;
        char szRate[32];
        std::snprintf(szRate, sizeof szRate, "%.2f", dRate);
        strRate = szRate;
        const auto nLeft =
            static_cast<long long>(static_cast<double>(m_nTotal - m_nResumed - nDone) / dRate);
        char szLeft[32];
        std::snprintf(szLeft, sizeof szLeft, "%lld:%02lld:%02lld", nLeft / 3600, nLeft / 60 % 60,
                      nLeft % 60);
        strLeft = szLeft;
    }
    std::size_t nFailed = 0;
    for (const SMetricTally& tally : m_arrTallies) {
        nFailed += tally.nFailed;
    }
    std::fprintf(m_pErr,
                 "\r%s: %zu of %zu rows done, %s rows/s, %s left, %zu failed; row %zu: %s\033[K",
                 kProgram, m_nResumed + nDone, m_nTotal, strRate.c_str(), strLeft.c_str(), nFailed,
                 m_nResumed + m_nBegun, Printable(strDomain).c_str());
    std::fflush(m_pErr);
    m_bProgressShown = true;
}

void CBatchScanner::ClearProgress() const {
    if (m_bProgressShown) {
        std::fputs("\r\033[K", m_pErr);
        m_bProgressShown = false;
    }
}

void CBatchScanner::Tally(const CDomainRecord& record) {
    record.GetCountedStates(m_arrStates);
    for (std::size_t nMetric = 0; nMetric < m_arrTallies.size() && nMetric < m_arrStates.size();
         ++nMetric) {
        const SCellState& state = m_arrStates[nMetric];
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
    ClearProgress();
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
