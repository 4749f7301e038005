#include "exchange/CCsvExporter.h"

#include "core/CMetricTable.h"
#include "core/CRecordStore.h"
#include "exchange/CReplacingFile.h"

#include <new>

namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

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
    std::string strLine = m_header.strDomain;
    for (std::size_t nMetric : CMetricTable::ExportOrder()) {
        strLine += ',';
        if (nMetric < m_header.arrMetrics.size()) {
            strLine += m_header.arrMetrics[nMetric];
        }
    }
    for (std::size_t nMetric : m_arrExtraMetrics) {
        strLine += ',';
        strLine += CMetricTable::At(nMetric).strId;
    }
    return strLine + "\r\n";
}

void CCsvExporter::AppendRecordLine(const CDomainRecord& record, std::string& strOut) const {
    strOut += record.GetDomain();
    for (std::size_t nMetric : CMetricTable::ExportOrder()) {
        const bool bQuoted = CMetricTable::At(nMetric).bQuoted;
        strOut += bQuoted ? ",\"" : ",";
        strOut += record.GetMetric(nMetric);
        if (bQuoted) {
            strOut += '"';
        }
    }
    for (std::size_t nMetric : m_arrExtraMetrics) {
        strOut += ",\"";
        strOut += record.GetMetric(nMetric);
        strOut += '"';
    }
    strOut += "\r\n";
}

bool CCsvExporter::WriteLines(const CRecordStore& store, const BlockWriter& pfnWrite) const {
    std::string strBlock = HeaderLine();
    strBlock.reserve(kBlockBytes + 4096);
    bool bWritten = true;
    store.ForEachRecord([&](CDomainRecord& record) {
        if (!bWritten) {
            return;
        }
        AppendRecordLine(record, strBlock);
        if (strBlock.size() >= kBlockBytes) {
            bWritten = pfnWrite(strBlock);
            strBlock.clear();
        }
    });
    return bWritten && pfnWrite(strBlock);
}

bool CCsvExporter::ExportCsv(const CRecordStore& store, const std::string& strPath,
                             std::string* pError) const {
    if (store.GetCount() == 0) {
        return SetError(pError, {});
    }
    CReplacingFile file(strPath);
    try {
        const auto pfnWrite = [&file](std::string_view block) { return file.Write(block); };
        if (file.Open() && WriteLines(store, pfnWrite) && file.Commit()) {
            return true;
        }
    } catch (const std::bad_alloc&) {
        return SetError(pError, "not enough memory to export " + strPath);
    }
    return SetError(pError, file.Error());
}

bool CCsvExporter::WriteCsv(const CRecordStore& store, int fd, std::string* pError) const {
    if (store.GetCount() == 0) {
        return SetError(pError, {});
    }
    std::string strReason;
    const auto pfnWrite = [fd, &strReason](std::string_view block) {
        return CReplacingFile::WriteAll(fd, block, strReason);
    };
    try {
        if (WriteLines(store, pfnWrite)) {
            return true;
        }
    } catch (const std::bad_alloc&) {
        return SetError(pError, "not enough memory to write the list");
    }
    return SetError(pError, "cannot write the list: " + strReason);
}
