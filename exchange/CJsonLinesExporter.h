#pragma once

#include "exchange/CLineExport.h"

#include "queries/SQueryResult.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CDomainRecord;
class CRecordStore;

// Writes the score list as JSON Lines: one object per record, in the order
// of the record store, each line ended by LF:
//
//   {"domain":"a.example","metrics":{"PR":{"outcome":"value","value":"7"},...}}
//
// Every metric of the metric table is a member of "metrics", with its
// outcome; "reason" only for a failure, "http_status" when a reply came,
// "value" and "detail" when not empty. Value texts are bytes as the pages
// held them and need not be UTF-8 (GBK pages): a byte that does not belong to
// valid UTF-8 becomes U+FFFD, so every line stays valid JSON.
class CJsonLinesExporter {
public:
    // Which records are written; all when not set.
    using RowFilter = CLineExport::RowFilter;
    void SetRowFilter(RowFilter pfnFilter) { m_pfnFilter = std::move(pfnFilter); }

    // Writes the file at strPath, replaced only once it is written whole (as
    // the CSV export does). False when the file cannot be written, with the
    // reason in *pError.
    bool ExportJsonLines(const CRecordStore& store, const std::string& strPath,
                         std::string* pError = nullptr) const;
    // Writes the same bytes to an open descriptor, such as standard output.
    bool WriteJsonLines(const CRecordStore& store, int fd, std::string* pError = nullptr) const;

    // One record's line, LF included.
    static std::string RecordLine(const CDomainRecord& record);
    // Reads back a line that RecordLine wrote: the domain and every metric's
    // cell, by the metric's index. False, with the reason in strError, when
    // the line is not such a line or names other metrics than the table's.
    static bool ReadRecordLine(std::string_view strLine, std::string& strDomain,
                               std::vector<SQueryResult>& cells, std::string& strError);

private:
    CLineExport Lines() const;

    RowFilter m_pfnFilter;
};
