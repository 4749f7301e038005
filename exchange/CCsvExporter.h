#pragma once

#include "exchange/CLineExport.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CDomainRecord;
class CRecordStore;

// The header texts of the export file: the domain's, and one per metric of
// the metric table (by its index; only exported metrics are written). The
// defaults are the English texts, the metrics' ids; the window passes its
// translated ones.
struct SCsvHeader {
    std::string strDomain = "Domain name";
    std::vector<std::string> arrMetrics = DefaultMetricHeaders();

    static std::vector<std::string> DefaultMetricHeaders();
};

// Writes the score list as comma-separated text: the header line, then one
// line per record in the order of the record store. The domain stands bare,
// then the exported metrics in their export order, each bare or in double
// quotes as the metric table says; every line ends with CR LF. Fields follow
// RFC 4180 and a value that a spreadsheet would run as a formula is led by a
// ' (see CsvField.h); digits, commas and dots are written as stored.
//
// Runs on the caller's thread while the worker may store values: each
// record's texts are copied through its getters before they are written.
class CCsvExporter {
public:
    explicit CCsvExporter(SCsvHeader header = {});

    // Metrics without a fixed column that get one, quoted, after the fixed
    // ones, in this order: the ticked ones. None by default.
    void SetExtraMetrics(std::vector<std::size_t> arrMetrics) {
        m_arrExtraMetrics = std::move(arrMetrics);
    }
    // Which records get a line; all when not set.
    using RowFilter = CLineExport::RowFilter;
    void SetRowFilter(RowFilter pfnFilter) { m_pfnFilter = std::move(pfnFilter); }

    // Writes the file at strPath. It is written beside its final name and
    // moved into place only when complete, so a failed export never harms an
    // existing file. False when the list is empty (no file is created or
    // touched, *pError is set to the empty text) or when the file cannot be
    // written (*pError says why).
    bool ExportCsv(const CRecordStore& store, const std::string& strPath,
                   std::string* pError = nullptr) const;
    // Writes the same bytes to an open descriptor, such as standard output;
    // an empty list writes nothing and answers false.
    bool WriteCsv(const CRecordStore& store, int fd, std::string* pError = nullptr) const;

    // The header line and one record's line, CR LF included, for a writer
    // that writes the rows as they come.
    std::string HeaderLine() const;
    void AppendRecordLine(const CDomainRecord& record, std::string& strOut) const;

private:
    CLineExport Lines() const;

    SCsvHeader m_header;
    std::vector<std::size_t> m_arrExtraMetrics;
    RowFilter m_pfnFilter;
};
