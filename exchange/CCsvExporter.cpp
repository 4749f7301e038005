#include "exchange/CCsvExporter.h"

#include "core/CMetricTable.h"
#include "core/CRecordStore.h"
#include "exchange/CsvField.h"

namespace {

bool SetError(std::string* pError, const std::string& strError) {
    if (pError != nullptr) {
        *pError = strError;
    }
    return false;
}

} // namespace

CCsvExporter::CCsvExporter(SCsvHeader header) : m_header(std::move(header)) {}

std::vector<std::string> SCsvHeader::DefaultMetricHeaders() {
    std::vector<std::string> headers;
    for (const SMetric& metric : CMetricTable::Metrics()) {
        headers.push_back(metric.strId);
    }
    return headers;
}

std::string CCsvExporter::HeaderLine() const {
    std::string strLine;
    AppendCsvField(strLine, m_header.strDomain, false);
    for (std::size_t nMetric : CMetricTable::ExportOrder()) {
        strLine += ',';
        if (nMetric < m_header.arrMetrics.size()) {
            AppendCsvField(strLine, m_header.arrMetrics[nMetric], false);
        }
    }
    for (std::size_t nMetric : m_arrExtraMetrics) {
        strLine += ',';
        AppendCsvField(strLine, CMetricTable::At(nMetric).strId, false);
    }
    return strLine + "\r\n";
}

void CCsvExporter::AppendRecordLine(const CDomainRecord& record, std::string& strOut) const {
    AppendCsvField(strOut, record.GetDomain(), false);
    const std::vector<std::string> texts = record.GetMetrics();
    for (std::size_t nMetric : CMetricTable::ExportOrder()) {
        strOut += ',';
        AppendCsvField(strOut, texts[nMetric], CMetricTable::At(nMetric).bQuoted);
    }
    for (std::size_t nMetric : m_arrExtraMetrics) {
        strOut += ',';
        AppendCsvField(strOut, texts[nMetric], true);
    }
    strOut += "\r\n";
}

CLineExport CCsvExporter::Lines() const {
    return CLineExport(
        HeaderLine(),
        [this](const CDomainRecord& record, std::string& strOut) {
            AppendRecordLine(record, strOut);
        },
        m_pfnFilter);
}

bool CCsvExporter::ExportCsv(const CRecordStore& store, const std::string& strPath,
                             std::string* pError) const {
    if (store.GetCount() == 0) {
        return SetError(pError, {});
    }
    return Lines().ToFile(store, strPath, pError);
}

bool CCsvExporter::WriteCsv(const CRecordStore& store, int fd, std::string* pError) const {
    if (store.GetCount() == 0) {
        return SetError(pError, {});
    }
    return Lines().ToDescriptor(store, fd, pError);
}
