#include "lists/CListParser.h"

#include "lists/ListNames.h"

#include <algorithm>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trimmed(std::string_view strField) {
    const std::size_t nStart = strField.find_first_not_of(" \t");
    if (nStart == std::string_view::npos) {
        return {};
    }
    strField = strField.substr(nStart, strField.find_last_not_of(" \t") - nStart + 1);
    if (strField.size() >= 2 && strField.front() == '"' && strField.back() == '"') {
        strField = strField.substr(1, strField.size() - 2);
    }
    return strField;
}

void Split(std::string_view strLine, char chSeparator, std::vector<std::string_view>& fields) {
    fields.clear();
    for (;;) {
        const std::size_t nEnd = strLine.find(chSeparator);
        fields.push_back(Trimmed(strLine.substr(0, nEnd)));
        if (nEnd == std::string_view::npos) {
            return;
        }
        strLine.remove_prefix(nEnd + 1);
    }
}

} // namespace

CListParser::CListParser(const SListDefinition& definition, RowSink pfnSink)
    : m_definition(definition), m_pfnSink(std::move(pfnSink)), m_bHeaderDue(definition.bHeader) {
    const auto fieldOf = [](const SListColumn& column) {
        return static_cast<std::size_t>(std::max(column.nNumber, 1) - 1);
    };
    m_nNameField = fieldOf(definition.nameColumn);
    for (const SListColumn& column : definition.valueColumns) {
        m_arrValueFields.push_back(fieldOf(column));
    }
}

bool CListParser::Feed(std::string_view strPiece) {
    if (!m_bStarted) {
        // The mark may be split across pieces only in a list of fewer than
        // three bytes, which holds no row anyway.
        if (m_strPartial.empty() && strPiece.starts_with(kByteOrderMark)) {
            strPiece.remove_prefix(kByteOrderMark.size());
        }
        m_bStarted = !strPiece.empty();
    }
    while (!strPiece.empty()) {
        const std::size_t nEnd = strPiece.find('\n');
        const std::string_view strPart = strPiece.substr(0, nEnd);
        if (!m_bOverlong) {
            if (m_strPartial.size() + strPart.size() > kLongestLine) {
                m_bOverlong = true;
                m_strPartial.clear();
            } else {
                m_strPartial.append(strPart);
            }
        }
        if (nEnd == std::string_view::npos) {
            return true;
        }
        strPiece.remove_prefix(nEnd + 1);
        const bool bOverlong = m_bOverlong;
        m_bOverlong = false;
        if (bOverlong) {
            ++m_nBroken;
        } else if (!TakeLine(m_strPartial)) {
            return false;
        }
        m_strPartial.clear();
    }
    return true;
}

bool CListParser::Finish() {
    if (m_bOverlong) {
        ++m_nBroken;
        return true;
    }
    const bool bDone = m_strPartial.empty() || TakeLine(m_strPartial);
    m_strPartial.clear();
    return bDone;
}

bool CListParser::TakeLine(std::string_view strLine) {
    if (strLine.ends_with('\r')) {
        strLine.remove_suffix(1);
    }
    if (strLine.find_first_not_of(" \t") == std::string_view::npos ||
        (m_definition.bComments && strLine.starts_with('#'))) {
        return true;
    }
    Split(strLine, m_definition.chSeparator, m_fields);
    if (m_bHeaderDue) {
        m_bHeaderDue = false;
        return TakeHeader(m_fields);
    }
    return TakeRow(m_fields);
}

bool CListParser::TakeHeader(const std::vector<std::string_view>& fields) {
    const auto resolve = [&](const SListColumn& column, std::size_t& nField) {
        if (column.strHeader.empty()) {
            return true;
        }
        const auto it = std::find(fields.begin(), fields.end(), column.strHeader);
        if (it == fields.end()) {
            m_strError = "the list has no column '" + column.strHeader + "'";
            return false;
        }
        nField = static_cast<std::size_t>(it - fields.begin());
        return true;
    };
    if (!resolve(m_definition.nameColumn, m_nNameField)) {
        return false;
    }
    for (std::size_t i = 0; i < m_arrValueFields.size(); ++i) {
        if (!resolve(m_definition.valueColumns[i], m_arrValueFields[i])) {
            return false;
        }
    }
    return true;
}

bool CListParser::TakeRow(const std::vector<std::string_view>& fields) {
    const std::string strName = m_nNameField < fields.size()
                                    ? IndexedName(fields[m_nNameField], m_definition.names)
                                    : std::string();
    m_values.clear();
    for (std::size_t nField : m_arrValueFields) {
        if (nField >= fields.size() || fields[nField].empty()) {
            break;
        }
        m_values.push_back(fields[nField]);
    }
    if (strName.empty() || m_values.size() != m_arrValueFields.size()) {
        ++m_nBroken;
        return true;
    }
    ++m_nRows;
    return m_pfnSink(strName, m_values);
}
