#pragma once

#include <string>
#include <string_view>

// Where requests go. By default every URL goes where it says; tests send
// every request to one local server ("127.0.0.1:PORT") instead, whatever host
// and scheme the URL names.
struct CServiceHosts {
    // Empty: the URL's own host.
    std::string strOverride;

    static CServiceHosts Real();
    // Every service on one host, as a local test server offers them.
    static CServiceHosts AllOn(const std::string& strHost);
    // The real hosts, or, as a testing aid, every service on the host named
    // by the environment variable TALLYVINE_SERVICE_HOST (HOST:PORT).
    static CServiceHosts FromEnvironment();

    // strUrl as it is to be sent: with an override, "http://" and the
    // override take the place of the URL's scheme and host.
    std::string Route(std::string_view strUrl) const;
};
