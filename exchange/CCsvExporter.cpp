#include "exchange/CCsvExporter.h"

#include "core/CQueryManager.h"
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

std::string CCsvExporter::HeaderLine() const {
    const SCsvHeader& h = m_header;
    return h.strDomain + "," + h.strPR + "," + h.strGSite + "," + h.strGSearch1 + "," +
           h.strGSearch2 + "," + h.strBSite + "," + h.strBSearch1 + "," + h.strBSearch2 + "," +
           h.strAlexa + "\r\n";
}

void CCsvExporter::AppendRecordLine(const CDomainRecord& record, std::string& strOut) {
    strOut += record.GetDomain();
    strOut += ',';
    strOut += record.GetPR();
    const EMetric quoted[] = {EMetric::GSite, EMetric::GSearch1, EMetric::GSearch2,
                              EMetric::BSite, EMetric::BSearch1, EMetric::BSearch2,
                              EMetric::Alexa};
    for (EMetric metric : quoted) {
        strOut += ",\"";
        strOut += record.GetMetric(metric);
        strOut += '"';
    }
    strOut += "\r\n";
}

bool CCsvExporter::WriteLines(const CQueryManager& manager, const BlockWriter& pfnWrite) const {
    std::string strBlock = HeaderLine();
    strBlock.reserve(kBlockBytes + 4096);
    bool bWritten = true;
    manager.ForEachRecord([&](CDomainRecord& record) {
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

bool CCsvExporter::ExportCsv(const CQueryManager& manager, const std::string& strPath,
                             std::string* pError) const {
    if (manager.GetCount() == 0) {
        return SetError(pError, {});
    }
    CReplacingFile file(strPath);
    try {
        const auto pfnWrite = [&file](std::string_view block) { return file.Write(block); };
        if (file.Open() && WriteLines(manager, pfnWrite) && file.Commit()) {
            return true;
        }
    } catch (const std::bad_alloc&) {
        return SetError(pError, "not enough memory to export " + strPath);
    }
    return SetError(pError, file.Error());
}

bool CCsvExporter::WriteCsv(const CQueryManager& manager, int fd, std::string* pError) const {
    if (manager.GetCount() == 0) {
        return SetError(pError, {});
    }
    std::string strReason;
    const auto pfnWrite = [fd, &strReason](std::string_view block) {
        return CReplacingFile::WriteAll(fd, block, strReason);
    };
    try {
        if (WriteLines(manager, pfnWrite)) {
            return true;
        }
    } catch (const std::bad_alloc&) {
        return SetError(pError, "not enough memory to write the list");
    }
    return SetError(pError, "cannot write the list: " + strReason);
}
