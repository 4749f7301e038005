// The service test bed as a program of its own, for running the real window
// against it (scripts/screenshot): prints its HOST:PORT on the first line,
// then serves a few domains with values for every service until it gets
// SIGTERM or SIGINT. With --faults, two services fail as they do today.

#include "tests/support/ServiceTestBed.h"

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <string_view>

namespace {

struct SDomain {
    const char* pszDomain;
    ServiceTestBed::DomainValues values;
};

const SDomain s_domains[] = {
    {"example.com",
     {"6", "1204", "2,310,000", "48,200", "96,500,000", "97,100,000", "1,880,000", "12,400",
      "5,320,000", "5,410,000"}},
    {"debian.org",
     {"8", "2951", "14,600,000", "312,000", "51,200,000", "52,000,000", "733,000", "8,210",
      "2,140,000", "2,150,000"}},
    {"kernel.org",
     {"7", "3877", "1,870,000", "102,000", "28,900,000", "29,300,000", "96,400", "3,070",
      "1,210,000", "1,230,000"}},
    {"orbelle.example", {"3", "412905", "1,230", "14", "8,870", "9,020", "", "", "216", "230"}},
    {"qt.io",
     {"7", "9120", "5,480,000", "81,300", "17,700,000", "18,000,000", "265,000", "2,940",
      "3,660,000", "3,700,000"}},
};

} // namespace

int main(int argc, char** argv) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    // Blocked before the server's threads start, so they inherit the mask and
    // the signal reaches sigwait below.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    ServiceTestBed bed;
    for (const SDomain& domain : s_domains) {
        bed.SetDomain(domain.pszDomain, domain.values);
    }
    // --faults: the traffic rank is down and the web search rate-limits.
    if (argc > 1 && std::string_view(argv[1]) == "--faults") {
        bed.SetFault(ServiceTestBed::Service::Alexa, ServiceTestBed::Fault::ErrorPage);
        bed.SetHandler(ServiceTestBed::Service::Google, [](const auto&, auto& res) {
            res.status = 429;
            res.set_content("Too Many Requests", "text/plain");
        });
    }
    std::printf("%s\n", bed.Host().c_str());
    std::fflush(stdout);

    int nSignal = 0;
    sigwait(&signals, &nSignal);
    return 0;
}
