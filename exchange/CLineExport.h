#pragma once

#include <functional>
#include <string>
#include <string_view>

class CDomainRecord;
class CRecordStore;

// The writing shared by the line-per-record exports: a head, then one line
// per record in the order of the record store (those the filter takes),
// built into large blocks and written to a file that is replaced only once
// it is whole, or to an open descriptor.
class CLineExport {
public:
    using LineBuilder = std::function<void(const CDomainRecord& record, std::string& strOut)>;
    // Which records get a line; all when empty.
    using RowFilter = std::function<bool(const CDomainRecord&)>;

    CLineExport(std::string strHead, LineBuilder pfnLine, RowFilter pfnFilter);

    // False when the file cannot be written, with the reason in *pError.
    bool ToFile(const CRecordStore& store, const std::string& strPath,
                std::string* pError = nullptr) const;
    bool ToDescriptor(const CRecordStore& store, int fd, std::string* pError = nullptr) const;

private:
    using BlockWriter = std::function<bool(std::string_view block)>;
    // Stops at the first failed write.
    bool WriteBlocks(const CRecordStore& store, const BlockWriter& pfnWrite) const;

    std::string m_strHead;
    LineBuilder m_pfnLine;
    RowFilter m_pfnFilter;
};
