#pragma once

#include "lists/SListDefinition.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Reads a list's text as it streams in, a piece at a time, into rows: the
// name in its indexed form and the text of each value column. A leading
// byte-order mark, CR before LF, blank lines and (when the list says so)
// lines starting with '#' are skipped; a line without a name or a value
// counts as broken, not as a row.
class CListParser {
public:
    // The sink takes each row; false stops the reading.
    using RowSink =
        std::function<bool(std::string_view strName, const std::vector<std::string_view>& values)>;

    CListParser(const SListDefinition& definition, RowSink pfnSink);

    // False when the sink stopped the reading or the header lacks a column
    // (Error() says which).
    bool Feed(std::string_view strPiece);
    // Reads a last line without a line end.
    bool Finish();

    std::size_t Rows() const { return m_nRows; }
    std::size_t BrokenLines() const { return m_nBroken; }
    const std::string& Error() const { return m_strError; }

    // A line longer than this is broken.
    static constexpr std::size_t kLongestLine = 64 * 1024;

private:
    bool TakeLine(std::string_view strLine);
    bool TakeHeader(const std::vector<std::string_view>& fields);
    bool TakeRow(const std::vector<std::string_view>& fields);

    const SListDefinition& m_definition;
    RowSink m_pfnSink;
    std::string m_strPartial;
    bool m_bStarted = false;
    bool m_bHeaderDue;
    bool m_bOverlong = false;
    // Field numbers from 0 of the name and of each value column.
    std::size_t m_nNameField = 0;
    std::vector<std::size_t> m_arrValueFields;
    std::size_t m_nRows = 0;
    std::size_t m_nBroken = 0;
    std::string m_strError;
    std::vector<std::string_view> m_fields;
    std::vector<std::string_view> m_values;
};
