#include "net/ShownAddress.h"

namespace {

constexpr std::string_view kHidden = "...";

// The length of a scheme and its "://" at the start of the text; 0 when none.
std::size_t SchemeLength(std::string_view strUrl) {
    const std::size_t nColon = strUrl.find("://");
    if (nColon == std::string_view::npos || nColon == 0) {
        return 0;
    }
    for (char c : strUrl.substr(0, nColon)) {
        const bool bSchemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                 (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!bSchemeChar) {
            return 0;
        }
    }
    return nColon + 3;
}

void AppendAuthority(std::string& strOut, std::string_view strAuthority) {
    const std::size_t nAt = strAuthority.rfind('@');
    if (nAt != std::string_view::npos) {
        strOut += kHidden;
        strOut += '@';
        strAuthority.remove_prefix(nAt + 1);
    }
    strOut += strAuthority;
}

void AppendQuery(std::string& strOut, std::string_view strQuery) {
    strOut += '?';
    for (bool bFirst = true;; bFirst = false) {
        const std::size_t nEnd = strQuery.find('&');
        const std::string_view strParameter = strQuery.substr(0, nEnd);
        if (!bFirst) {
            strOut += '&';
        }
        const std::size_t nEquals = strParameter.find('=');
        if (nEquals != std::string_view::npos && nEquals > 0) {
            strOut += strParameter.substr(0, nEquals + 1);
        }
        if (!strParameter.empty()) {
            strOut += kHidden;
        }
        if (nEnd == std::string_view::npos) {
            break;
        }
        strQuery.remove_prefix(nEnd + 1);
    }
}

} // namespace

std::string ShownAddress(std::string_view strUrl) {
    std::string strOut;
    std::size_t nAt = SchemeLength(strUrl);
    if (nAt == 0 && strUrl.starts_with("//")) {
        nAt = 2;
    }
    strOut += strUrl.substr(0, nAt);
    strUrl.remove_prefix(nAt);
    if (nAt > 0) {
        const std::size_t nAuthorityEnd = strUrl.find_first_of("/?#");
        AppendAuthority(strOut, strUrl.substr(0, nAuthorityEnd));
        strUrl.remove_prefix(nAuthorityEnd == std::string_view::npos ? strUrl.size()
                                                                     : nAuthorityEnd);
    }
    strUrl = strUrl.substr(0, strUrl.find('#'));
    const std::size_t nQuery = strUrl.find('?');
    strOut += strUrl.substr(0, nQuery);
    if (nQuery != std::string_view::npos) {
        AppendQuery(strOut, strUrl.substr(nQuery + 1));
    }
    return strOut;
}
