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

bool IsValueOption(const std::string& strName) {
    return strName == "--metrics" || strName == "--interval" || strName == "--shard" ||
           strName == "--output";
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
    std::vector<bool> bTicked(CMetricTable::Count(), false);
    bTicked[CMetricTable::PageRankMetric()] = true;
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
        if (strName == "--help" || strName == "-h" || strName == "--quiet") {
            if (bInline) {
                strError = "option '" + strName + "' takes no value";
                return false;
            }
            (strName == "--quiet" ? options.bQuiet : options.bHelp) = true;
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
        if (strName == "--output") {
            options.strOutput = strValue;
        }
    }
    if (lists.size() > 1) {
        strError = "more than one list file given ('" + lists[0] + "', '" + lists[1] + "')";
        return false;
    }
    options.strList = lists.empty() ? std::string() : lists[0];
    return true;
}

const char* CScanOptions::Usage() {
    return "usage: tallyvine-scan [--metrics LIST] [--interval MS] [--shard K/N] [--output FILE] "
           "[--quiet] [LISTFILE]\n";
}

std::string CScanOptions::Help() {
    const std::string strIndent(19, ' ');
    const std::string strAlways = CMetricTable::At(CMetricTable::PageRankMetric()).strId;
    const std::string strMetrics =
        Wrap("metrics to query, comma-separated, case does not matter: " + MetricIds(false, ", ") +
                 " (default " + MetricIds(true, ",") + "). " + strAlways + " is always queried.",
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
            " in double quotes; lines end with CR LF. A metric that was not queried or whose query "
            "failed is empty. An empty list writes nothing.",
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
           "  --output FILE    write the CSV to FILE instead of standard output; FILE is\n"
           "                   replaced only once it is written whole, unless its folder\n"
           "                   takes no new file: then FILE is rewritten in place\n"
           "  --quiet          no progress and no warnings on standard error\n"
           "  --help           show this help and exit\n"
           "\n"
           "Each domain is scanned once. While standard error is a terminal, the scanner\n"
           "shows which row it is querying.\n" +
           strLayout + "\n" +
           "\n"
           "Exit status: 0 when the CSV was written, 1 when the list could not be read or\n"
           "the CSV could not be written, 2 on bad usage.\n"
           "\n"
           "Testing aid: the environment variable TALLYVINE_SERVICE_HOST=HOST:PORT sends\n"
           "every request to that one server instead of the real services.\n";
}
