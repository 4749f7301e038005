#include "queries/CServiceHosts.h"

#include <cstdlib>

CServiceHosts CServiceHosts::Real() {
    return {"toolbarqueries.google.com", "data.alexa.com", "www.google.com", "www.baidu.com"};
}

CServiceHosts CServiceHosts::AllOn(const std::string& strHost) {
    return {strHost, strHost, strHost, strHost};
}

CServiceHosts CServiceHosts::FromEnvironment() {
    const char* pszHost = std::getenv("TALLYVINE_SERVICE_HOST");
    return pszHost != nullptr && *pszHost != '\0' ? AllOn(pszHost) : Real();
}
