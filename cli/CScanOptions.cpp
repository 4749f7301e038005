#include "cli/CScanOptions.h"

#include "core/CMetricTable.h"

namespace {

constexpr int kMaxInterval = 10000;

// The metrics' ids joined by ", "; only those ticked at start when bDefault.
std::string MetricIds(bool bOnlyDefault, const char* pszSeparator) {
    std::string strIds;
    for (const SMetric& metric : CMetricTable::Metrics()) {
        if (bOnlyDefault && !metric.bDefault) {
            continue;
        }
        strIds += (strIds.empty() ? "" : pszSeparator) + metric.strId;
    }
    return strIds;
}

// Breaks a text into lines of at most nWidth bytes at blanks, each after the
// first led by strIndent.
std::string Wrap(const std::string& strText, std::size_t nWidth, const std::string& strIndent) {
    std::string strOut;
    std::size_t nLine = 0;
    std::size_t nAt = 0;
    while (nAt < strText.size()) {
        std::size_t nEnd = strText.find(' ', nAt);
        nEnd = nEnd == std::string::npos ? strText.size() : nEnd;
        const std::string strWord = strText.substr(nAt, nEnd - nAt);
        if (nLine > 0 && nLine + 1 + strWord.size() > nWidth) {
            strOut += "\n" + strIndent;
            nLine = 0;
        } else if (nLine > 0) {
            strOut += ' ';
            ++nLine;
        }
        strOut += strWord;
        nLine += strWord.size();
        nAt = nEnd + 1;
    }
    return strOut;
}

// Splits "--name=value" into name and value; bInline tells whether it had one.
void SplitOption(const std::string& strArg, std::string& strName, std::string& strValue,
                 bool& bInline) {
    const std::size_t nEquals = strArg.find('=');
    bInline = nEquals != std::string::npos;
    strName = bInline ? strArg.substr(0, nEquals) : strArg;
    strValue = bInline ? strArg.substr(nEquals + 1) : std::string();
}

// The flag an option without a value sets; null for other options.
bool* FlagOf(const std::string& strName, CScanOptions& options) {
    if (strName == "--help" || strName == "-h") {
        return &options.bHelp;
    }
    if (strName == "--quiet") {
        return &options.bQuiet;
    }
    if (strName == "--offline") {
        return &options.bOffline;
    }
    if (strName == "--resume") {
        return &options.bResume;
    }
    if (strName == "--retry-failed") {
        return &options.bRetryFailed;
    }
    return strName == "--list-sources" ? &options.bListSources : nullptr;
}

bool IsValueOption(const std::string& strName) {
    return strName == "--metrics" || strName == "--interval" || strName == "--shard" ||
           strName == "--format" || strName == "--output";
}

} // namespace

std::vector<bool> CScanOptions::DefaultMetrics() {
    std::vector<bool> bTicked;
    for (const SMetric& metric : CMetricTable::Metrics()) {
        bTicked.push_back(metric.bDefault || metric.bAlwaysAsked);
    }
    return bTicked;
}

bool CScanOptions::ParseMetrics(const std::string& strList, std::vector<bool>& bMetrics,
                                std::string& strError) {
    // Exactly the metrics named: a scan of list sources alone sends no
    // request per name.
    std::vector<bool> bTicked(CMetricTable::Count(), false);
    std::size_t nStart = 0;
    for (;;) {
        const std::size_t nComma = strList.find(',', nStart);
        const std::string strId = strList.substr(nStart, nComma - nStart);
        const std::optional<std::size_t> nFound = CMetricTable::Find(strId);
        if (!nFound) {
            strError = "unknown metric '" + strId + "' (known: " + MetricIds(false, ", ") + ")";
            return false;
        }
        bTicked[*nFound] = true;
        if (nComma == std::string::npos) {
            break;
        }
        nStart = nComma + 1;
    }
    bMetrics = bTicked;
    return true;
}

bool CScanOptions::ParseListIds(const std::string& strList, std::vector<std::size_t>& arrIds,
                                std::string& strError) {
    std::vector<bool> bNamed;
    if (!ParseMetrics(strList, bNamed, strError)) {
        return false;
    }
    arrIds.clear();
    for (std::size_t nMetric = 0; nMetric < bNamed.size(); ++nMetric) {
        if (!bNamed[nMetric]) {
            continue;
        }
        if (!CMetricTable::At(nMetric).listSource.IsSet()) {
            strError = "'" + CMetricTable::At(nMetric).strId + "' is not a list source";
            return false;
        }
        arrIds.push_back(nMetric);
    }
    return true;
}

bool CScanOptions::ParseInterval(const std::string& strText, int& nInterval,
                                 std::string& strError) {
    int nValue = 0;
    bool bDigits = !strText.empty() && strText.size() <= 5;
    for (char c : strText) {
        bDigits = bDigits && c >= '0' && c <= '9';
        nValue = bDigits ? nValue * 10 + (c - '0') : 0;
    }
    if (!bDigits || nValue > kMaxInterval) {
        strError = "the interval must be a whole number of milliseconds from 0 to 10000, not '" +
                   strText + "'";
        return false;
    }
    nInterval = nValue;
    return true;
}

bool CScanOptions::ParseFormat(const std::string& strText, EFormat& format, std::string& strError) {
    if (strText != "csv" && strText != "jsonl") {
        strError = "the format must be csv or jsonl, not '" + strText + "'";
        return false;
    }
    format = strText == "csv" ? EFormat::Csv : EFormat::JsonLines;
    return true;
}

bool CScanOptions::Parse(const std::vector<std::string>& args, CScanOptions& options,
                         std::string& strError) {
    bool bOptionsEnded = false;
    std::vector<std::string> lists;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& strArg = args[i];
        if (bOptionsEnded || strArg == "-" || strArg.empty() || strArg[0] != '-') {
            lists.push_back(strArg);
            continue;
        }
        if (strArg == "--") {
            bOptionsEnded = true;
            continue;
        }
        std::string strName;
        std::string strValue;
        bool bInline = false;
        SplitOption(strArg, strName, strValue, bInline);
        if (strName == "--update-lists") {
            options.bUpdateLists = true;
            if (bInline && !ParseListIds(strValue, options.arrUpdateIds, strError)) {
                return false;
            }
            continue;
        }
        if (bool* pFlag = FlagOf(strName, options)) {
            if (bInline) {
                strError = "option '" + strName + "' takes no value";
                return false;
            }
            *pFlag = true;
            continue;
        }
        if (!IsValueOption(strName)) {
            strError = "unknown option '" + strArg + "'";
            return false;
        }
        if (!bInline) {
            if (i + 1 == args.size()) {
                strError = "option '" + strName + "' needs a value";
                return false;
            }
            strValue = args[++i];
        }
        if (strName == "--metrics" && !ParseMetrics(strValue, options.bMetrics, strError)) {
            return false;
        }
        if (strName == "--interval" && !ParseInterval(strValue, options.nInterval, strError)) {
            return false;
        }
        if (strName == "--shard" && !CShard::Parse(strValue, options.shard, strError)) {
            return false;
        }
        if (strName == "--format" && !ParseFormat(strValue, options.format, strError)) {
            return false;
        }
        if (strName == "--output") {
            options.strOutput = strValue;
        }
    }
    if (lists.size() > 1) {
        strError = "more than one list file given ('" + lists[0] + "', '" + lists[1] + "')";
        return false;
    }
    options.strList = lists.empty() ? std::string() : lists[0];
    return CheckResume(options, strError);
}

bool CScanOptions::CheckResume(const CScanOptions& options, std::string& strError) {
    if (options.bResume && (options.strOutput.empty() || options.strOutput == "-")) {
        strError = "--resume needs --output FILE: it goes on with FILE.part or FILE";
        return false;
    }
    if (options.bRetryFailed && !options.bResume) {
        strError = "--retry-failed goes with --resume";
        return false;
    }
    if (options.bRetryFailed && options.format == EFormat::Csv) {
        strError = "--retry-failed needs --format jsonl: a CSV does not tell a failed cell from "
                   "an empty one";
        return false;
    }
    return true;
}

const char* CScanOptions::Usage() {
    return "usage: tallyvine-scan [--metrics LIST] [--interval MS] [--shard K/N] "
           "[--format csv|jsonl] [--output FILE [--resume [--retry-failed]]] [--quiet] "
           "[LISTFILE]\n"
           "       tallyvine-scan --list-sources\n"
           "       tallyvine-scan --update-lists[=IDS] [--metrics LIST]\n";
}

std::string CScanOptions::Help() {
    const std::string strIndent(19, ' ');
    const std::string strAlways = CMetricTable::At(CMetricTable::PageRankMetric()).strId;
    const std::string strMetrics =
        Wrap("metrics to query, comma-separated, case does not matter: " + MetricIds(false, ", ") +
                 " (default " + MetricIds(true, ",") + "). Exactly those named are queried.",
             58, strIndent);
    std::string strExported;
    for (std::size_t nMetric : CMetricTable::ExportOrder()) {
        if (nMetric != CMetricTable::PageRankMetric()) {
            strExported += (strExported.empty() ? "" : ", ") + CMetricTable::At(nMetric).strId;
        }
    }
    const std::size_t nLastComma = strExported.rfind(", ");
    if (nLastComma != std::string::npos) {
        strExported.replace(nLastComma, 2, " and ");
    }
    const std::string strLayout = Wrap(
        "The CSV has a header line, then one line per domain in byte order of the names: the "
        "domain, " +
            strAlways + ", then " + strExported +
            " in double quotes, then each ticked source that has no fixed column (such as "
            "Tranco or one of your own) in double quotes; lines end with CR LF. A metric that was "
            "not queried or whose query failed is empty. A value that holds a comma, a double "
            "quote or a line break is quoted, its double quotes doubled (RFC 4180); one that "
            "starts with =, +, -, @, a tab or a carriage return is led by a ' so that no "
            "spreadsheet runs it. An empty list writes nothing.",
        79, "");
    return std::string(
               "Rates a list of domain names by public search and traffic services and writes\n"
               "the scores as comma-separated text.\n"
               "\n"
               "LISTFILE holds one domain name per line (standard input when it is missing or\n"
               "\"-\"). A name is taken as written: ASCII letters, digits, dots and hyphens\n"
               "only; other lines are skipped with a warning naming their line number, and so\n"
               "are repeated names. A UTF-8 or UTF-16 byte-order mark is understood.\n"
               "\n"
               "Options:\n"
               "  --metrics LIST   ") +
           strMetrics + "\n" +
           "  --interval MS    pause after each domain, in milliseconds, 0 to 10000\n"
           "                   (default 1000); keeps the services from refusing requests\n"
           "  --shard K/N      scan only shard K of N (1 <= K <= N): the names whose\n"
           "                   64-bit FNV-1a hash of their bytes, modulo N, is K - 1.\n"
           "                   N runs with K = 1 to N, on one machine or several, read\n"
           "                   the same list and scan each name exactly once between\n"
           "                   them; lines of other shards are passed over silently\n"
           "  --format FORMAT  csv (the default) or jsonl: JSON Lines, one object per\n"
           "                   domain with every source's outcome (see below)\n"
           "  --output FILE    write to FILE instead of standard output. The rows go to\n"
           "                   FILE.part (beside the file FILE names, links followed)\n"
           "                   as their scans end, and are on disk within a second;\n"
           "                   at the end FILE.part is renamed to FILE, so FILE is\n"
           "                   either the old file or a whole new one. When the folder\n"
           "                   takes no new file, FILE is rewritten in place at the\n"
           "                   end, and only once the disk has room for it\n"
           "  --resume         go on with the scan that wrote FILE.part (or, without\n"
           "                   one, FILE): its rows stay, a last line written only in\n"
           "                   part is cut off, and only the names not in it are\n"
           "                   scanned. The file must have this run's --format and\n"
           "                   columns and hold the first names of this list (and\n"
           "                   shard) in order; with neither file the scan starts anew\n"
           "  --retry-failed   with --resume and --format jsonl: ask the failed cells of\n"
           "                   the rows read back again, scan the names still missing,\n"
           "                   and write FILE anew with one line per name; FILE.part\n"
           "                   stays until FILE is whole\n"
           "  --quiet          no progress, no warnings and no summary on standard error\n"
           "  --list-sources   print each source's id, label and origin (\"built in\" or\n"
           "                   the definition file), separated by tabs, and exit; a\n"
           "                   file's pattern source adds \"linear\" or \"budgeted\": whether\n"
           "                   its pattern is matched in time linear in the reply, or\n"
           "                   under a step budget; a source that reads environment\n"
           "                   variables adds their names; a list source adds its\n"
           "                   cached list's date and row count\n"
           "  --update-lists[=IDS]\n"
           "                   download again the lists of the ticked list sources (or\n"
           "                   of the ids given, comma-separated) and exit\n"
           "  --offline        list sources use their cached lists only; a list that is\n"
           "                   not cached fails its cells\n"
           "  --help           show this help and exit\n"
           "\n"
           "Each domain is scanned once. While standard error is a terminal, one line\n"
           "there shows the rows done of all, the rate, the time left at that rate, the\n"
           "failures so far and the row being asked; lines above it tell how a list's\n"
           "download goes. The first failure of each source for each reason is shown as\n"
           "it happens, and a summary of the values, the \"nothing found\" answers and\n"
           "the failures by source and reason at the end. A source definition file that\n"
           "is left out is named at start with the reason.\n"
           "\n" +
           strLayout + "\n" +
           "\n"
           "With --format jsonl each line is a JSON object, in the CSV's row order:\n"
           "  "
           "{\"domain\":\"a.example\",\"metrics\":{\"PR\":{\"outcome\":\"value\",\"value\":\"7\"},"
           "\n"
           "   "
           "\"GSite\":{\"outcome\":\"failed\",\"reason\":\"blocked\",\"http_status\":429,...},...}}"
           "\n"
           "Every source is a member of \"metrics\", ticked or not. \"outcome\" is value,\n"
           "none (the service has nothing for the domain), failed or not_asked; \"reason\"\n"
           "(failed only) is dns, connect, timeout, too_slow, too_large, redirects,\n"
           "http_status, blocked, no_match, cancelled or unavailable (a list source's\n"
           "list that cannot be had); \"http_status\" is there when a reply came,\n"
           "\"value\" and \"detail\" when not empty. Values are the pages'\n"
           "bytes: a byte that is not part of valid UTF-8 (a GBK page) is written as\n"
           "U+FFFD, so that every line stays valid JSON.\n"
           "\n"
           "SIGTERM, SIGINT or SIGHUP cancels the query in flight; the output is written\n"
           "with every domain whose scan had ended (FILE.part becomes FILE), the number\n"
           "of domains left unscanned is shown, and the exit status is 128 plus the\n"
           "signal's number. A second signal ends the scanner at once: FILE.part stays\n"
           "for --resume. After a crash, a kill or a power cut, FILE.part holds every row\n"
           "but those of the last second; run the same command with --resume to go on.\n"
           "\n"
           "An empty list (or shard) writes nothing; an old FILE is left as it was, and\n"
           "the scanner says so even when quiet.\n"
           "\n"
           "Exit status: 0 when the output was written and no query of this run failed,\n"
           "3 when it was written but some query failed, 1 when the list could not be\n"
           "read, the output could not be written (the rows already safe in FILE.part\n"
           "are counted), FILE.part is left from a scan that did not end (without\n"
           "--resume), does not fit this run or cannot be read, or another scanner is\n"
           "writing FILE; 2 on bad usage; 128 + N after signal N.\n"
           "\n"
           "Testing aid: the environment variable TALLYVINE_SERVICE_HOST=HOST:PORT sends\n"
           "every request to that one server instead of the real services.\n";
}
