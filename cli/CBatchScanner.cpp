#include "cli/CBatchScanner.h"

#include "core/CQueryManager.h"
#include "core/CRecordStore.h"
#include "exchange/CCsvExporter.h"

#include <unistd.h>

namespace {

constexpr const char* kProgram = "tallyvine-scan";
constexpr std::size_t kShownLineBytes = 60;

// A skipped line as it can be shown on a terminal: other bytes escaped,
// long lines cut.
std::string Printable(std::string_view strLine) {
    std::string strShown;
    for (std::size_t i = 0; i < strLine.size() && strShown.size() < kShownLineBytes; ++i) {
        const auto c = static_cast<unsigned char>(strLine[i]);
        if (c >= 0x20 && c < 0x7F) {
            strShown += static_cast<char>(c);
        } else {
            char szHex[8];
            std::snprintf(szHex, sizeof szHex, "\\x%02X", c);
            strShown += szHex;
        }
    }
    return strShown.size() < kShownLineBytes ? strShown : strShown + "...";
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
      m_bProgress(bProgress) {}

int CBatchScanner::Run() {
    CRecordStore store;
    CQueryManager manager(store, this, m_hosts);
    for (std::size_t i = 0; i < m_options.bMetrics.size(); ++i) {
        manager.SetMetricFlag(i, m_options.bMetrics[i]);
    }
    manager.SetInterval(m_options.nInterval);

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
    manager.ScanEveryRowOnce();
    return WriteCsv(store) ? kSuccess : kFailure;
}

void CBatchScanner::OnRowAdded(CDomainRecord&) {}

void CBatchScanner::OnScanBegun(CDomainRecord& record) {
    if (m_bProgress) {
        std::fprintf(m_pErr, "%s: row %zu of %zu: %s\n", kProgram, ++m_nBegun, m_nTotal,
                     std::string(record.GetDomain()).c_str());
    }
}

void CBatchScanner::OnScanEnded(CDomainRecord&) {}

void CBatchScanner::OnPassEnded(const SPassSummary&) {}

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

bool CBatchScanner::WriteCsv(const CRecordStore& store) {
    const CCsvExporter exporter;
    std::string strError;
    const bool bStdout = m_options.strOutput.empty() || m_options.strOutput == "-";
    const bool bWritten = bStdout ? exporter.WriteCsv(store, STDOUT_FILENO, &strError)
                                  : exporter.ExportCsv(store, m_options.strOutput, &strError);
    if (!bWritten) {
        Error(strError);
    }
    return bWritten;
}

void CBatchScanner::Error(const std::string& strMessage) {
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
