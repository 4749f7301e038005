#include "cli/CResumedRows.h"

#include "core/CMetricTable.h"
#include "core/CRecordStore.h"
#include "exchange/CJsonLinesExporter.h"
#include "exchange/CPartFile.h"
#include "exchange/CsvField.h"

namespace {

// A row of the export is never this long: its values are cut out of replies
// that are capped far below.
constexpr std::size_t kMaxLineBytes = std::size_t{64} << 20;

bool EndsWith(std::string_view strText, std::string_view strEnd) {
    return strText.size() >= strEnd.size() &&
           strText.substr(strText.size() - strEnd.size()) == strEnd;
}

} // namespace

CResumedRows::CResumedRows(const CScanOptions& options, std::string strCsvHead, bool bCells)
    : m_options(options), m_strCsvHead(std::move(strCsvHead)), m_bCells(bCells) {}

bool CResumedRows::Read(CPartFile& part, CRecordStore& store, const std::string& strFileName,
                        const std::string& strListName) {
    m_strFile = strFileName;
    m_strList = strListName;
    const bool bRead = part.ReadLines(
        [&](std::string_view strLine) { return TakeLine(strLine, store); }, kMaxLineBytes);
    if (!bRead) {
        return m_strError.empty() ? Refuse(part.Error()) : false;
    }
    return m_bCells || CheckPrefix(store);
}

bool CResumedRows::TakeLine(std::string_view strLine, CRecordStore& store) {
    ++m_nLine;
    const bool bCsv = m_options.format == CScanOptions::EFormat::Csv;
    if (m_nLine == 1) {
        const bool bJsonFile = !strLine.empty() && strLine.front() == '{';
        if (bCsv && bJsonFile) {
            return Refuse(m_strFile + " holds JSON Lines: go on with it with --format jsonl");
        }
        if (!bCsv && !bJsonFile) {
            return Refuse(m_strFile + " is not JSON Lines: go on with it with --format csv");
        }
        if (bCsv && strLine != m_strCsvHead) {
            return Refuse(m_strFile + " has other columns than this run: its header is '" +
                          std::string(strLine.substr(0, strLine.find('\r'))) + "', this run's '" +
                          m_strCsvHead.substr(0, m_strCsvHead.size() - 2) +
                          "' (give the same --metrics)");
        }
        if (bCsv) {
            m_bHasHead = true;
            return true;
        }
    }
    return bCsv ? TakeCsvRow(strLine, store) : TakeJsonRow(strLine, store);
}

bool CResumedRows::TakeCsvRow(std::string_view strLine, CRecordStore& store) {
    std::vector<std::string> fields;
    std::vector<std::string> head;
    SplitCsvLine(std::string_view(m_strCsvHead).substr(0, m_strCsvHead.size() - 2), head);
    if (!EndsWith(strLine, "\r\n") ||
        !SplitCsvLine(strLine.substr(0, strLine.size() - 2), fields) ||
        fields.size() != head.size()) {
        return Refuse(m_strFile + ":" + std::to_string(m_nLine) +
                      ": not a row of tallyvine-scan's CSV");
    }
    // A column of a metric this run does not ask holds nothing in its rows.
    const std::vector<std::size_t>& order = CMetricTable::ExportOrder();
    for (std::size_t nColumn = 0; nColumn < order.size(); ++nColumn) {
        if (!m_options.bMetrics[order[nColumn]] && !fields[nColumn + 1].empty()) {
            return Refuse(m_strFile + ":" + std::to_string(m_nLine) + ": " +
                          CMetricTable::At(order[nColumn]).strId +
                          " holds a value, but this run does not ask it (give the same --metrics)");
        }
    }
    CDomainRecord* pRecord = Claim(std::string(CsvValue(fields[0])), store);
    if (pRecord == nullptr) {
        return false;
    }
    pRecord->SetPageRankText({});
    return true;
}

bool CResumedRows::TakeJsonRow(std::string_view strLine, CRecordStore& store) {
    std::string strDomain;
    std::vector<SQueryResult> cells;
    std::string strWhy;
    if (!CJsonLinesExporter::ReadRecordLine(strLine, strDomain, cells, strWhy)) {
        return Refuse(m_strFile + ":" + std::to_string(m_nLine) + ": " + strWhy);
    }
    std::vector<bool> bAsked(cells.size());
    for (std::size_t nMetric = 0; nMetric < cells.size(); ++nMetric) {
        bAsked[nMetric] = cells[nMetric].state.outcome != EOutcome::NotAsked;
    }
    if (bAsked != m_options.bMetrics) {
        return Refuse(m_strFile + ":" + std::to_string(m_nLine) + ": written with the metrics " +
                      MetricList(bAsked) + ", this run asks " + MetricList(m_options.bMetrics) +
                      " (give the same --metrics)");
    }
    CDomainRecord* pRecord = Claim(strDomain, store);
    if (pRecord == nullptr) {
        return false;
    }
    if (!m_bCells) {
        pRecord->SetPageRankText({});
        return true;
    }
    for (std::size_t nMetric = 0; nMetric < cells.size(); ++nMetric) {
        if (bAsked[nMetric]) {
            pRecord->SetResult(nMetric, cells[nMetric], true, 0);
        }
    }
    return true;
}

CDomainRecord* CResumedRows::Claim(const std::string& strDomain, CRecordStore& store) {
    CDomainRecord* pRecord = store.Find(strDomain);
    if (pRecord == nullptr) {
        Refuse(m_strFile + ":" + std::to_string(m_nLine) + ": " + strDomain + " is not in " +
               m_strList + ": the file belongs to another list or shard");
        return nullptr;
    }
    if (m_pLast != nullptr && !(m_pLast->GetDomain() < pRecord->GetDomain())) {
        Refuse(m_strFile + ":" + std::to_string(m_nLine) + ": " + strDomain +
               " is out of order: not tallyvine-scan's output");
        return nullptr;
    }
    m_pLast = pRecord;
    ++m_nRows;
    return pRecord;
}

// The rows still to come are appended, so none may sort before the last row read.
bool CResumedRows::CheckPrefix(const CRecordStore& store) {
    for (const CDomainRecord* pRecord = store.First(); pRecord != nullptr && pRecord != m_pLast;
         pRecord = store.Next(*pRecord)) {
        if (!pRecord->IsScanned()) {
            return Refuse(m_strFile + " lacks " + std::string(pRecord->GetDomain()) +
                          ", which comes before its last row: it belongs to another list");
        }
    }
    return true;
}

bool CResumedRows::Refuse(const std::string& strWhy) {
    m_strError = strWhy;
    return false;
}

std::string CResumedRows::MetricList(const std::vector<bool>& bAsked) const {
    std::string strList;
    for (std::size_t nMetric = 0; nMetric < bAsked.size(); ++nMetric) {
        if (bAsked[nMetric]) {
            strList += (strList.empty() ? "" : ",") + CMetricTable::At(nMetric).strId;
        }
    }
    return strList;
}
