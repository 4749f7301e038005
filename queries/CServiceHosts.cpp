#include "queries/CServiceHosts.h"

CServiceHosts CServiceHosts::Real() {
    return {"toolbarqueries.google.com", "data.alexa.com", "www.google.com", "www.baidu.com"};
}

CServiceHosts CServiceHosts::AllOn(const std::string& strHost) {
    return {strHost, strHost, strHost, strHost};
}
