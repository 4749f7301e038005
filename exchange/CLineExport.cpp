#include "exchange/CLineExport.h"

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

CLineExport::CLineExport(std::string strHead, LineBuilder pfnLine, RowFilter pfnFilter)
    : m_strHead(std::move(strHead)), m_pfnLine(std::move(pfnLine)),
      m_pfnFilter(std::move(pfnFilter)) {}

bool CLineExport::WriteBlocks(const CRecordStore& store, const BlockWriter& pfnWrite) const {
    std::string strBlock = m_strHead;
    strBlock.reserve(kBlockBytes + 4096);
    bool bWritten = true;
    store.ForEachRecord([&](CDomainRecord& record) {
        if (!bWritten || (m_pfnFilter && !m_pfnFilter(record))) {
            return;
        }
        m_pfnLine(record, strBlock);
        if (strBlock.size() >= kBlockBytes) {
            bWritten = pfnWrite(strBlock);
            strBlock.clear();
        }
    });
    return bWritten && pfnWrite(strBlock);
}

bool CLineExport::ToFile(const CRecordStore& store, const std::string& strPath,
                         std::string* pError) const {
    CReplacingFile file(strPath);
    try {
        const auto pfnWrite = [&file](std::string_view block) { return file.Write(block); };
        if (file.Open() && WriteBlocks(store, pfnWrite) && file.Commit()) {
            return true;
        }
    } catch (const std::bad_alloc&) {
        return SetError(pError, "not enough memory to export " + strPath);
    }
    return SetError(pError, file.Error());
}

bool CLineExport::ToDescriptor(const CRecordStore& store, int fd, std::string* pError) const {
    std::string strReason;
    const auto pfnWrite = [fd, &strReason](std::string_view block) {
        return CReplacingFile::WriteAll(fd, block, strReason);
    };
    try {
        if (WriteBlocks(store, pfnWrite)) {
            return true;
        }
    } catch (const std::bad_alloc&) {
        return SetError(pError, "not enough memory to write the list");
    }
    return SetError(pError, "cannot write the list: " + strReason);
}
