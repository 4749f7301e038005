// tallyvine-scan: rates a list of domain names from the command line and
// writes the scores as CSV.
#include "cli/CBatchScanner.h"
#include "cli/CScanOptions.h"
#include "core/CQueryManager.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    CScanOptions options;
    std::string strError;
    if (!CScanOptions::Parse(std::vector<std::string>(argv + 1, argv + argc), options, strError)) {
        std::fprintf(stderr, "tallyvine-scan: %s\n%s", strError.c_str(), CScanOptions::Usage());
        return CBatchScanner::kBadUsage;
    }
    if (options.bHelp) {
        std::printf("%s\n%s", CScanOptions::Usage(), CScanOptions::Help().c_str());
        return std::fflush(stdout) == 0 ? CBatchScanner::kSuccess : CBatchScanner::kFailure;
    }
    // A closed output pipe is a write error to report, not a reason to die.
    std::signal(SIGPIPE, SIG_IGN);
    // The HTTP library's global set-up is not thread-safe: it runs here,
    // before the scan starts its worker thread.
    if (!CQueryManager::PrepareNetwork()) {
        std::fprintf(stderr, "tallyvine-scan: the network library could not be started\n");
        return CBatchScanner::kFailure;
    }
    const bool bProgress = !options.bQuiet && isatty(STDERR_FILENO) == 1;
    CBatchScanner scanner(options, CServiceHosts::FromEnvironment(), stderr, bProgress);
    return scanner.Run();
}
