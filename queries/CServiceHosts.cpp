#include "queries/CServiceHosts.h"

#include <algorithm>
#include <cstdlib>

CServiceHosts CServiceHosts::Real() {
    return {};
}

CServiceHosts CServiceHosts::AllOn(const std::string& strHost) {
    return {strHost};
}

CServiceHosts CServiceHosts::FromEnvironment() {
    const char* pszHost = std::getenv("TALLYVINE_SERVICE_HOST");
    return pszHost != nullptr && *pszHost != '\0' ? AllOn(pszHost) : Real();
}

std::string CServiceHosts::Route(std::string_view strUrl) const {
    if (strOverride.empty()) {
        return std::string(strUrl);
    }
    const std::size_t nScheme = strUrl.find("://");
    const std::size_t nHostAt = nScheme == std::string_view::npos ? 0 : nScheme + 3;
    const std::size_t nPathAt = std::min(strUrl.find_first_of("/?#", nHostAt), strUrl.size());
    return "http://" + strOverride + std::string(strUrl.substr(nPathAt));
}
