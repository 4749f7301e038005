#include "lists/ListNames.h"

#include "queries/RegistrableDomain.h"

#include <algorithm>
#include <cctype>

namespace {

// A host name's bytes: no spaces, controls, slashes or quotes.
bool IsHostText(std::string_view strHost) {
    return !strHost.empty() && std::none_of(strHost.begin(), strHost.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b <= ' ' || b == 0x7F || c == '/' || c == '"' || c == '\\' || c == '@';
    });
}

std::string ReversedLabels(std::string_view strName) {
    std::string strForward;
    while (!strName.empty()) {
        const std::size_t nDot = strName.rfind('.');
        const std::string_view strLabel =
            nDot == std::string_view::npos ? strName : strName.substr(nDot + 1);
        if (!strForward.empty()) {
            strForward += '.';
        }
        strForward += strLabel;
        strName = nDot == std::string_view::npos ? std::string_view() : strName.substr(0, nDot);
    }
    return strForward;
}

std::string IndexedOrigin(std::string_view strText) {
    std::string strOrigin = NormalisedHost(strText);
    while (!strOrigin.empty() && strOrigin.back() == '/') {
        strOrigin.pop_back();
    }
    for (std::string_view strScheme : {"https://", "http://"}) {
        if (strOrigin.starts_with(strScheme)) {
            std::string strHost = NormalisedHost(strOrigin.substr(strScheme.size()));
            return IsHostText(strHost) ? std::string(strScheme) + strHost : std::string();
        }
    }
    return {};
}

} // namespace

std::string IndexedName(std::string_view strText, EListNames names) {
    switch (names) {
    case EListNames::Origin:
        return IndexedOrigin(strText);
    case EListNames::Reversed: {
        std::string strHost = NormalisedHost(ReversedLabels(strText));
        return IsHostText(strHost) ? strHost : std::string();
    }
    case EListNames::Registrable:
    case EListNames::Host:
        break;
    }
    std::string strHost = NormalisedHost(strText);
    return IsHostText(strHost) ? strHost : std::string();
}

std::string RowHost(std::string_view strDomain) {
    const std::size_t nScheme = strDomain.find("://");
    if (nScheme != std::string_view::npos) {
        strDomain.remove_prefix(nScheme + 3);
    }
    const auto end = std::find_if(strDomain.begin(), strDomain.end(),
                                  [](char c) { return c == '/' || c == '?' || c == '#'; });
    strDomain = strDomain.substr(0, static_cast<std::size_t>(end - strDomain.begin()));
    const std::size_t nAt = strDomain.rfind('@');
    if (nAt != std::string_view::npos) {
        strDomain.remove_prefix(nAt + 1);
    }
    if (!strDomain.starts_with('[')) {
        strDomain = strDomain.substr(0, strDomain.find(':'));
    }
    return NormalisedHost(strDomain);
}

std::vector<std::string> LookupNames(std::string_view strDomain, EListLookup lookup) {
    const std::string strHost = RowHost(strDomain);
    std::vector<std::string> names;
    if (strHost.empty()) {
        return names;
    }
    const std::string strRegistrable = RegistrableDomain(strHost);
    switch (lookup) {
    case EListLookup::Registrable:
        if (!strRegistrable.empty()) {
            names.push_back(strRegistrable);
        }
        break;
    case EListLookup::Host:
        names.push_back(strHost);
        if (!strRegistrable.empty() && strRegistrable != strHost) {
            names.push_back(strRegistrable);
        }
        break;
    case EListLookup::Origin: {
        const std::string strBare = strHost.starts_with("www.") ? strHost.substr(4) : strHost;
        for (std::string_view strScheme : {"https://", "http://"}) {
            names.push_back(std::string(strScheme) + strBare);
            names.push_back(std::string(strScheme) + "www." + strBare);
        }
        break;
    }
    }
    return names;
}
