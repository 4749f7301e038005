#pragma once

#include <string>

// Where the four services live. The real hosts are the default; tests point a
// query set at a local server ("127.0.0.1:PORT") instead.
struct CServiceHosts {
    std::string strPageRank;
    std::string strAlexa;
    std::string strGoogle;
    std::string strBaidu;

    static CServiceHosts Real();
    // Every service on one host, as a local test server offers them.
    static CServiceHosts AllOn(const std::string& strHost);
    // The real hosts, or, as a testing aid, every service on the host named
    // by the environment variable TALLYVINE_SERVICE_HOST (HOST:PORT).
    static CServiceHosts FromEnvironment();
};
