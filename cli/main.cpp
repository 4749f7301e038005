// tallyvine-scan: rates a list of domain names from the command line and
// writes the scores as CSV or JSON Lines.
#include "cli/CBatchScanner.h"
#include "cli/CScanOptions.h"
#include "cli/CSignalWatch.h"
#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "core/PatternSearch.h"
#include "queries/TextHelpers.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

// Each source's id, label and origin, separated by tabs, one per line; a
// source from a file that reads a pattern adds the search it takes, and a
// source that reads environment variables adds their names.
int ListSources() {
    for (const SMetric& metric : CMetricTable::Metrics()) {
        const std::string strOrigin = metric.strOrigin.empty() ? "built in" : metric.strOrigin;
        std::string strLine = metric.strId + '\t' + EscapeControls(metric.strLabel) + '\t' +
                              EscapeControls(strOrigin);
        const std::string_view strSearch =
            metric.strOrigin.empty() ? std::string_view() : PatternSearchName(metric);
        if (!strSearch.empty()) {
            strLine.append("\t").append(strSearch);
        }
        std::string strVariables;
        for (const std::string& strName : CMetricQuery::ReadVariables(metric.query)) {
            strVariables += (strVariables.empty() ? "" : ",") + strName;
        }
        if (!strVariables.empty()) {
            strLine += '\t' + strVariables;
        }
        std::printf("%s\n", strLine.c_str());
    }
    return std::fflush(stdout) == 0 ? CBatchScanner::kSuccess : CBatchScanner::kFailure;
}

// A source file that breaks a rule is left out; the user should know why.
void ReportLoadErrors() {
    for (const std::string& strError : CMetricTable::LoadErrors()) {
        std::fprintf(stderr, "tallyvine-scan: source left out: %s\n", strError.c_str());
    }
}

} // namespace

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
    if (!options.bQuiet) {
        ReportLoadErrors();
    }
    if (options.bListSources) {
        return ListSources();
    }
    // Before any thread starts (the HTTP library's too), so that only the signal watch takes them.
    if (!CSignalWatch::BlockSignals()) {
        std::fprintf(stderr, "tallyvine-scan: the termination signals could not be blocked\n");
        return CBatchScanner::kFailure;
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
