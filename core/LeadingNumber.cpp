#include "core/LeadingNumber.h"

#include <climits>

namespace {

bool IsAtoiBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::int64_t LeadingNumber(std::string_view strText) {
    std::size_t i = 0;
    while (i < strText.size() && IsAtoiBlank(strText[i])) {
        ++i;
    }
    bool bNegative = false;
    if (i < strText.size() && (strText[i] == '+' || strText[i] == '-')) {
        bNegative = strText[i] == '-';
        ++i;
    }
    unsigned long long nValue = 0;
    for (; i < strText.size() && strText[i] >= '0' && strText[i] <= '9'; ++i) {
        const unsigned nDigit = static_cast<unsigned>(strText[i] - '0');
        if (nValue > (static_cast<unsigned long long>(LLONG_MAX) - nDigit) / 10) {
            return bNegative ? LLONG_MIN : LLONG_MAX;
        }
        nValue = nValue * 10 + nDigit;
    }
    return bNegative ? -static_cast<long long>(nValue) : static_cast<long long>(nValue);
}
