// tallyvine-scan: rates a list of domain names from the command line and
// writes the scores as CSV or JSON Lines.
#include "cli/CBatchScanner.h"
#include "cli/CScanOptions.h"
#include "cli/CSignalWatch.h"
#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "core/PatternSearch.h"
#include "queries/TextHelpers.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <set>
#include <unistd.h>

namespace {

// "list of 2026-12-09, 1000000 rows", or that the list is not downloaded.
std::string CachedListText(const CListAnswers& lists, const SListSource& source) {
    const std::optional<SListInfo> info = lists.CachedInfo(source);
    if (!info || !CListCache::HoldsColumns(source.list, *info)) {
        return "list not downloaded";
    }
    return "list of " + CListAnswers::ListDate(*info) + ", " + std::to_string(info->nRows) +
           " rows";
}

// Each source's id, label and origin, separated by tabs, one per line; a
// source from a file that reads a pattern adds the search it takes, and a
// source that reads environment variables adds their names, and a list
// source its cached list's date and row count.
int ListSources() {
    const CListAnswers lists(CServiceHosts::FromEnvironment());
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
        if (metric.listSource.IsSet()) {
            strLine += '\t' + CachedListText(lists, metric.listSource);
        }
        std::printf("%s\n", strLine.c_str());
    }
    return std::fflush(stdout) == 0 ? CBatchScanner::kSuccess : CBatchScanner::kFailure;
}

// Downloads again the lists of the sources named, or of the ticked list
// sources; each list once, however many sources read it.
int UpdateLists(const CScanOptions& options, bool bProgress) {
    std::vector<std::size_t> arrIds = options.arrUpdateIds;
    if (arrIds.empty()) {
        for (std::size_t nMetric = 0; nMetric < options.bMetrics.size(); ++nMetric) {
            if (options.bMetrics[nMetric] && CMetricTable::At(nMetric).listSource.IsSet()) {
                arrIds.push_back(nMetric);
            }
        }
    }
    if (arrIds.empty()) {
        std::fprintf(stderr, "tallyvine-scan: no list source is ticked; name them with "
                             "--metrics or --update-lists=IDS\n");
        return CBatchScanner::kBadUsage;
    }
    CListAnswers lists(CServiceHosts::FromEnvironment());
    std::set<std::string> done;
    int nCode = CBatchScanner::kSuccess;
    auto tShown = std::chrono::steady_clock::time_point();
    for (std::size_t nMetric : arrIds) {
        const SListSource& source = CMetricTable::At(nMetric).listSource;
        if (!done.insert(source.list.FormatKey()).second) {
            continue;
        }
        const SListStatus status =
            lists.Update(source, [&](const std::string& strTitle, const SListProgress& progress) {
                const auto tNow = std::chrono::steady_clock::now();
                if (bProgress && tNow - tShown >= std::chrono::seconds(1)) {
                    tShown = tNow;
                    std::fprintf(stderr, "tallyvine-scan: %s\n",
                                 CListAnswers::ProgressText(strTitle, progress).c_str());
                }
            });
        const std::string& strId = CMetricTable::At(nMetric).strId;
        if (status.bFailed) {
            std::fprintf(stderr, "tallyvine-scan: %s: %s could not be updated: %s\n", strId.c_str(),
                         source.list.strTitle.c_str(), status.strDetail.c_str());
            nCode = CBatchScanner::kFailure;
            continue;
        }
        const std::optional<SListInfo> info = lists.CachedInfo(source);
        if (!options.bQuiet && info) {
            std::fprintf(stderr, "tallyvine-scan: %s: %s %s: list of %s, %lld rows\n",
                         strId.c_str(), source.list.strTitle.c_str(),
                         status.nHttpStatus == 304 ? "is unchanged" : "updated",
                         CListAnswers::ListDate(*info).c_str(),
                         static_cast<long long>(info->nRows));
        }
    }
    return nCode;
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
    // An update keeps the signals' ordinary action: it writes nothing a
    // signal could leave half done, since a list is swapped in whole.
    if (options.bUpdateLists) {
        if (!CQueryManager::PrepareNetwork()) {
            std::fprintf(stderr, "tallyvine-scan: the network library could not be started\n");
            return CBatchScanner::kFailure;
        }
        return UpdateLists(options, !options.bQuiet && isatty(STDERR_FILENO) == 1);
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
