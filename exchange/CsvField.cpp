#include "exchange/CsvField.h"

#include <algorithm>

namespace {

bool StartsLikeAFormula(std::string_view strValue) {
    if (strValue.empty()) {
        return false;
    }
    switch (strValue.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

} // namespace

void AppendCsvField(std::string& strOut, std::string_view strValue, bool bQuoted) {
    const bool bNeutralised = StartsLikeAFormula(strValue);
    bQuoted = bQuoted || strValue.find_first_of(",\"\r\n") != std::string_view::npos;
    if (bQuoted) {
        strOut += '"';
    }
    if (bNeutralised) {
        strOut += '\'';
    }
    for (const char c : strValue) {
        if (c == '"') {
            strOut += '"';
        }
        strOut += c;
    }
    if (bQuoted) {
        strOut += '"';
    }
}

bool SplitCsvLine(std::string_view strLine, std::vector<std::string>& fields) {
    fields.clear();
    std::size_t nAt = 0;
    for (;;) {
        std::string strField;
        if (nAt < strLine.size() && strLine[nAt] == '"') {
            for (++nAt;; ++nAt) {
                if (nAt >= strLine.size()) {
                    return false;
                }
                if (strLine[nAt] == '"') {
                    if (nAt + 1 < strLine.size() && strLine[nAt + 1] == '"') {
                        ++nAt;
                    } else {
                        break;
                    }
                }
                strField += strLine[nAt];
            }
            ++nAt;
            if (nAt < strLine.size() && strLine[nAt] != ',') {
                return false;
            }
        } else {
            const std::size_t nComma = std::min(strLine.find(',', nAt), strLine.size());
            strField = strLine.substr(nAt, nComma - nAt);
            if (strField.find('"') != std::string::npos) {
                return false;
            }
            nAt = nComma;
        }
        fields.push_back(std::move(strField));
        if (nAt >= strLine.size()) {
            return true;
        }
        ++nAt;
    }
}

std::string_view CsvValue(std::string_view strField) {
    if (strField.size() >= 2 && strField[0] == '\'' && StartsLikeAFormula(strField.substr(1))) {
        strField.remove_prefix(1);
    }
    return strField;
}
