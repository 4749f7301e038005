#include "queries/RegistrableDomain.h"

#include <libpsl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <memory>

namespace {

struct SPslFree {
    void operator()(psl_ctx_t* pContext) const { psl_free(pContext); }
};

// The newest list on the system, or the one built into the library when the
// system has none. Loaded once; libpsl's lookups only read it.
const psl_ctx_t* SuffixList() {
    static const std::unique_ptr<psl_ctx_t, SPslFree> pLatest(psl_latest(nullptr));
    return pLatest ? pLatest.get() : psl_builtin();
}

bool IsIpAddress(const std::string& strHost) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, strHost.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, strHost.c_str(), buffer) == 1 ||
           (strHost.size() > 2 && strHost.front() == '[' && strHost.back() == ']');
}

} // namespace

std::string NormalisedHost(std::string_view strHost) {
    if (!strHost.empty() && strHost.back() == '.')
        strHost.remove_suffix(1);
    std::string strName(strHost);
    std::transform(strName.begin(), strName.end(), strName.begin(), [](unsigned char ch) {
        return static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    });
    return strName;
}

std::string RegistrableDomain(std::string_view strHost) {
    const std::string strName = NormalisedHost(strHost);
    // Each list source of a row, and {site}, asks for the same name in turn.
    thread_local std::string strLastName;
    thread_local std::string strLastDomain;
    if (strName == strLastName)
        return strLastDomain;
    const psl_ctx_t* pList = SuffixList();
    std::string strDomain;
    if (!strName.empty() && strName.find('\0') == std::string::npos && !IsIpAddress(strName) &&
        pList != nullptr) {
        const char* pDomain = psl_registrable_domain(pList, strName.c_str());
        strDomain = pDomain != nullptr ? std::string(pDomain) : std::string();
    }
    strLastName = strName;
    strLastDomain = strDomain;
    return strDomain;
}
