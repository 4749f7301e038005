#pragma once

#include "cli/CScanOptions.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class CDomainRecord;
class CPartFile;
class CRecordStore;

// The rows an earlier run of the same scan wrote, read back from its part
// file into the record store, where they count as scanned. They must be
// this program's output in the run's format and columns, for names the list
// holds, and (unless the run rewrites every row) the first names of the
// list in order, so that the rows still to come follow them.
class CResumedRows {
public:
    // strCsvHead: the header line this run writes in CSV. bCells: read every
    // cell back (JSON Lines only), for a run that asks failed cells again.
    CResumedRows(const CScanOptions& options, std::string strCsvHead, bool bCells);

    // False, with the reason in Error(), when the file does not fit the run.
    bool Read(CPartFile& part, CRecordStore& store, const std::string& strFileName,
              const std::string& strListName);

    std::size_t Count() const { return m_nRows; }
    // The last row read; null when none.
    const CDomainRecord* Last() const { return m_pLast; }
    // Whether the file held the CSV's header.
    bool HasHead() const { return m_bHasHead; }
    const std::string& Error() const { return m_strError; }

private:
    bool TakeLine(std::string_view strLine, CRecordStore& store);
    bool TakeCsvRow(std::string_view strLine, CRecordStore& store);
    bool TakeJsonRow(std::string_view strLine, CRecordStore& store);
    // The record of a row's domain, which must come after the last one.
    CDomainRecord* Claim(const std::string& strDomain, CRecordStore& store);
    bool CheckPrefix(const CRecordStore& store);
    bool Refuse(const std::string& strWhy);
    std::string MetricList(const std::vector<bool>& bAsked) const;

    const CScanOptions& m_options;
    const std::string m_strCsvHead;
    const bool m_bCells;
    std::string m_strFile;
    std::string m_strList;
    std::size_t m_nLine = 0;
    std::size_t m_nRows = 0;
    bool m_bHasHead = false;
    CDomainRecord* m_pLast = nullptr;
    std::string m_strError;
};
