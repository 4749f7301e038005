#include "ScanProcess.h"
#include "cli/CShard.h"
#include "tests/support/ServiceTestBed.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Service = ServiceTestBed::Service;

const std::string kUsage =
    "usage: tallyvine-scan [--metrics LIST] [--interval MS] [--shard K/N] [--format csv|jsonl] "
    "[--output FILE [--resume [--retry-failed]]] [--quiet] [LISTFILE]\n"
    "       tallyvine-scan --list-sources\n"
    "       tallyvine-scan --update-lists[=IDS] [--metrics LIST]\n";
const std::string kHeader =
    "Domain name,PR,GSite,GSearch1,GSearch2,BSite,BSearch1,BSearch2,Alexa\r\n";

// The summary line that ends a scan without failures.
std::string Summary(const std::string& strRowsValuesNone) {
    return "tallyvine-scan: " + strRowsValuesNone + ", 0 failed\n";
}

std::string Row(const std::string& strDomain, const std::string& strPR) {
    return strDomain + "," + strPR + ",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n";
}

struct UsageCase {
    const char* pszName;
    std::vector<std::string> args;
    std::string strMessage;
};

class ScanUsageTest : public testing::TestWithParam<UsageCase> {};

TEST_P(ScanUsageTest, BadUsageGivesOneLineAndTheUsage) {
    const ScanRun run = RunScanner({GetParam().args, "a.example\n", "", false});
    EXPECT_EQ(run.nExitCode, 2);
    EXPECT_EQ(run.strErr, "tallyvine-scan: " + GetParam().strMessage + "\n" + kUsage);
    EXPECT_EQ(run.strOut, "");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ScanUsageTest,
    testing::Values(
        UsageCase{"UnknownOption", {"--verbose"}, "unknown option '--verbose'"},
        UsageCase{"UnknownShortOption", {"-x"}, "unknown option '-x'"},
        UsageCase{"MissingValue", {"--interval"}, "option '--interval' needs a value"},
        UsageCase{"IntervalNotANumber",
                  {"--interval", "fast"},
                  "the interval must be a whole number of milliseconds from 0 to 10000, not "
                  "'fast'"},
        UsageCase{"IntervalTooLarge",
                  {"--interval=10001"},
                  "the interval must be a whole number of milliseconds from 0 to 10000, not "
                  "'10001'"},
        UsageCase{"IntervalNegative",
                  {"--interval", "-1"},
                  "the interval must be a whole number of milliseconds from 0 to 10000, not "
                  "'-1'"},
        UsageCase{"UnknownMetric",
                  {"--metrics", "PR,PageRank"},
                  "unknown metric 'PageRank' (known: PR, Alexa, GSite, GLink, GSearch1, "
                  "GSearch2, BSite, BLink, BSearch1, BSearch2, Tranco, Created, FirstSeen, "
                  "TrancoList, Majestic, MajesticRefSubNets, Umbrella, CrUX)"},
        UsageCase{"EmptyMetric",
                  {"--metrics=GSite,"},
                  "unknown metric '' (known: PR, Alexa, GSite, GLink, GSearch1, GSearch2, "
                  "BSite, BLink, BSearch1, BSearch2, Tranco, Created, FirstSeen, TrancoList, "
                  "Majestic, MajesticRefSubNets, Umbrella, CrUX)"},
        UsageCase{"ShardMissingValue", {"--shard"}, "option '--shard' needs a value"},
        UsageCase{"ShardBeyondItsCount",
                  {"--shard", "4/3"},
                  "the shard must be K/N, whole numbers with 1 <= K <= N <= 1000000, not '4/3'"},
        UsageCase{"ShardWithoutCount",
                  {"--shard=2"},
                  "the shard must be K/N, whole numbers with 1 <= K <= N <= 1000000, not '2'"},
        UsageCase{"FlagWithValue", {"--quiet=yes"}, "option '--quiet' takes no value"},
        UsageCase{"ListSourcesWithValue",
                  {"--list-sources=all"},
                  "option '--list-sources' takes no value"},
        UsageCase{
            "UnknownFormat", {"--format", "json"}, "the format must be csv or jsonl, not 'json'"},
        UsageCase{"FormatMissingValue", {"--format"}, "option '--format' needs a value"},
        UsageCase{
            "TwoLists", {"a.txt", "b.txt"}, "more than one list file given ('a.txt', 'b.txt')"},
        UsageCase{"ResumeWithoutOutput",
                  {"--resume"},
                  "--resume needs --output FILE: it goes on with FILE.part or FILE"},
        UsageCase{"ResumeOnStandardOutput",
                  {"--resume", "--output", "-"},
                  "--resume needs --output FILE: it goes on with FILE.part or FILE"},
        UsageCase{"RetryWithoutResume",
                  {"--retry-failed", "--output", "out.jsonl", "--format", "jsonl"},
                  "--retry-failed goes with --resume"},
        UsageCase{"RetryInACsv",
                  {"--resume", "--retry-failed", "--output", "out.csv"},
                  "--retry-failed needs --format jsonl: a CSV does not tell a failed cell from "
                  "an empty one"}),
    [](const testing::TestParamInfo<UsageCase>& info) { return info.param.pszName; });

TEST(ScanHelpTest, ExplainsEveryOptionOnStandardOutput) {
    const ScanRun run = RunScanner({{"--help"}, "", "", false});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(run.strErr, "");
    EXPECT_EQ(run.strOut.rfind(kUsage, 0), 0u);
    for (const char* pszOption :
         {"--metrics", "--interval", "--shard", "--format", "--output", "--quiet", "--list-sources",
          "--help", "LISTFILE", "Exit status", "3 when", "128 + N", "SIGTERM", "U+FFFD", "--resume",
          "--retry-failed", "FILE.part"}) {
        EXPECT_NE(run.strOut.find(pszOption, kUsage.size()), std::string::npos) << pszOption;
    }
}

// Scans against the local test bed; only PageRank answers with values here.
class ScanCommandTest : public testing::Test {
protected:
    ServiceTestBed m_bed;
    TestFolder m_folder{"scan"};

    void SetUp() override {
        m_bed.SetPageRank("a.example", "3");
        m_bed.SetPageRank("b.example", "7");
        m_bed.SetPageRank("C.example", "");
    }
    std::string PathOf(const std::string& strName) const { return m_folder.PathOf(strName); }
    std::string WriteList(const std::string& strBytes) const {
        return m_folder.Write("list.txt", strBytes);
    }

    ScanRun Scan(std::vector<std::string> args, const std::string& strStdin = "") const {
        return RunScanner({std::move(args), strStdin, m_bed.Host(), false});
    }

    std::size_t RequestsTo(Service service) const {
        std::size_t n = 0;
        for (const auto& request : m_bed.Requests()) {
            n += request.service == service ? 1 : 0;
        }
        return n;
    }
};

const std::string kList =
    "b.example\r\nhttp://x.example/\r\na.example\r\n\r\nb.example\r\nC.example";

TEST_F(ScanCommandTest, ScansAListOnceAndWritesTheCsv) {
    const ScanRun run = Scan({"--interval", "0", "--output", PathOf("out.csv"), WriteList(kList)});
    EXPECT_EQ(run.nExitCode, 0) << run.strErr;
    EXPECT_EQ(run.strOut, "");
    EXPECT_EQ(TestFolder::Read(PathOf("out.csv")),
              kHeader + Row("C.example", "") + Row("a.example", "3") + Row("b.example", "7"));
    const std::string strList = PathOf("list.txt");
    EXPECT_EQ(run.strErr, "tallyvine-scan: " + strList +
                              ":2: skipped 'http://x.example/': not a domain name\n"
                              "tallyvine-scan: " +
                              strList + ":5: skipped 'b.example': repeats an earlier name\n" +
                              Summary("3 rows scanned: 2 values, 10 none"));
    // Every row once, with the default metrics: PR, Alexa, GSite and BSite.
    EXPECT_EQ(RequestsTo(Service::PageRank), 3u);
    EXPECT_EQ(RequestsTo(Service::Alexa), 3u);
    EXPECT_EQ(RequestsTo(Service::Google), 3u);
    EXPECT_EQ(RequestsTo(Service::Baidu), 3u);
}

TEST_F(ScanCommandTest, ReadsStandardInputAndWritesStandardOutput) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--interval=0", "--quiet"},
          std::vector<std::string>{"--interval=0", "--quiet", "--output", "-", "-"}}) {
        const ScanRun run = Scan(args, kList);
        EXPECT_EQ(run.nExitCode, 0) << run.strErr;
        EXPECT_EQ(run.strErr, "");
        EXPECT_EQ(run.strOut,
                  kHeader + Row("C.example", "") + Row("a.example", "3") + Row("b.example", "7"));
    }
}

TEST_F(ScanCommandTest, WarnsAboutSkippedLinesInAReadableForm) {
    const std::string strLong(70, 'x');
    const std::string strList = "b\xC3\xBC"
                                "cher.example\n\ttab.example\n" +
                                strLong + " \na.example\nend\0.example\nlost.example\n"s;
    const ScanRun run = Scan({"--interval", "0", "--metrics", "PR"}, strList);
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(run.strOut, kHeader + Row("a.example", "3"));
    EXPECT_EQ(run.strErr,
              "tallyvine-scan: standard input:1: skipped 'b\\xC3\\xBCcher.example': not a domain "
              "name\n"
              "tallyvine-scan: standard input:2: skipped '\\x09tab.example': not a domain name\n"
              "tallyvine-scan: standard input:3: skipped '" +
                  std::string(60, 'x') +
                  "...': not a domain name\n"
                  "tallyvine-scan: standard input:5: skipped 'end': a zero byte ends the text "
                  "here; the rest of the list is ignored\n" +
                  Summary("1 row scanned: 1 value, 0 none"));

    const ScanRun quiet = Scan({"--interval", "0", "--metrics", "PR", "--quiet"}, strList);
    EXPECT_EQ(quiet.strErr, "");
    EXPECT_EQ(quiet.strOut, run.strOut);
}

TEST_F(ScanCommandTest, QueriesExactlyTheChosenMetrics) {
    const ScanRun run = Scan({"--interval", "0", "--metrics", "glink,BSEARCH2"}, "a.example\n");
    EXPECT_EQ(run.nExitCode, 0) << run.strErr;
    EXPECT_EQ(run.strOut, kHeader + Row("a.example", ""));
    EXPECT_EQ(RequestsTo(Service::PageRank), 0u);
    EXPECT_EQ(RequestsTo(Service::Google), 1u);
    EXPECT_EQ(RequestsTo(Service::Baidu), 1u);
    EXPECT_EQ(RequestsTo(Service::Alexa), 0u);
}

// The lines of a text whose lines end with CR LF.
std::vector<std::string> LinesOf(const std::string& strText) {
    std::vector<std::string> lines;
    std::size_t nStart = 0;
    for (std::size_t nEnd; (nEnd = strText.find("\r\n", nStart)) != std::string::npos;
         nStart = nEnd + 2) {
        lines.push_back(strText.substr(nStart, nEnd - nStart));
    }
    return lines;
}

// Machines that read the same list scan each name once between them, and
// each warning about the list comes from one of them only.
TEST_F(ScanCommandTest, TheShardsOfAListScanEachNameOnce) {
    std::string strList;
    std::multiset<std::string> names;
    for (int i = 0; i < 40; ++i) {
        names.insert("host" + std::to_string(i) + ".example");
        strList += "host" + std::to_string(i) + ".example\n";
    }
    const std::string strPath = WriteList(strList + "not a domain\nhost7.example\n");
    std::multiset<std::string> scanned;
    std::multiset<std::string> warnings;
    for (const char* pszShard : {"1/3", "2/3", "3/3"}) {
        const ScanRun run =
            Scan({"--interval", "0", "--metrics", "PR", "--shard", pszShard, strPath});
        EXPECT_EQ(run.nExitCode, 0) << pszShard;
        const std::vector<std::string> lines = LinesOf(run.strOut);
        // Each run ends with its own summary.
        const std::string strRows = std::to_string(lines.size() - 1);
        const std::string strSummary =
            Summary(strRows + " rows scanned: " + strRows + " values, 0 none");
        ASSERT_GE(run.strErr.size(), strSummary.size()) << pszShard;
        EXPECT_EQ(run.strErr.substr(run.strErr.size() - strSummary.size()), strSummary);
        std::istringstream err(run.strErr.substr(0, run.strErr.size() - strSummary.size()));
        for (std::string strLine; std::getline(err, strLine);) {
            warnings.insert(strLine);
        }
        ASSERT_FALSE(lines.empty()) << pszShard;
        EXPECT_EQ(lines[0] + "\r\n", kHeader) << pszShard;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            scanned.insert(lines[i].substr(0, lines[i].find(',')));
        }
    }
    EXPECT_EQ(scanned, names);
    EXPECT_EQ(RequestsTo(Service::PageRank), names.size());
    EXPECT_EQ(warnings,
              (std::multiset<std::string>{
                  "tallyvine-scan: " + strPath + ":41: skipped 'not a domain': not a domain name",
                  "tallyvine-scan: " + strPath +
                      ":42: skipped 'host7.example': repeats an earlier name"}));
}

TEST_F(ScanCommandTest, ShowsProgressOnlyOnATerminal) {
    const ScanRun run = RunScanner(
        {{"--interval", "0", "--metrics", "PR"}, "b.example\na.example\n", m_bed.Host(), true});
    EXPECT_EQ(run.nExitCode, 0);
    // One line rewritten in place: rows done of all, the rate, the time
    // left, the failures, the row being asked; cleared before the summary.
    for (const char* pszProgress :
         {"\rtallyvine-scan: 0 of 2 rows done, - rows/s, - left, 0 failed; row 1: a.example\033[K",
          "\rtallyvine-scan: 1 of 2 rows done, ",
          " rows/s, 0:00:00 left, 0 failed; row 2: b.example",
          "\r\033[Ktallyvine-scan: 2 rows scanned"}) {
        EXPECT_NE(run.strErr.find(pszProgress), std::string::npos) << run.strErr;
    }
    EXPECT_EQ(run.strOut, kHeader + Row("a.example", "3") + Row("b.example", "7"));

    const ScanRun quiet = RunScanner(
        {{"--interval", "0", "--metrics", "PR", "--quiet"}, "a.example\n", m_bed.Host(), true});
    EXPECT_EQ(quiet.strErr, "");
}

TEST_F(ScanCommandTest, AnEmptyListWritesNothing) {
    const ScanRun run = Scan({"--output", PathOf("out.csv"), WriteList("\r\n\r\n")});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_FALSE(fs::exists(PathOf("out.csv")));
    EXPECT_EQ(run.strErr,
              "tallyvine-scan: " + PathOf("list.txt") + " holds no domain name; nothing written\n");
    EXPECT_EQ(m_bed.RequestCount(), 0u);
}

TEST_F(ScanCommandTest, AnEmptyShardWritesNothing) {
    std::string strOut;
    std::string strErrors;
    for (const char* pszShard : {"1/2", "2/2"}) {
        const ScanRun run =
            Scan({"--interval", "0", "--metrics", "PR", "--shard", pszShard}, "a.example\n");
        EXPECT_EQ(run.nExitCode, 0) << pszShard;
        strOut += run.strOut;
        strErrors += run.strErr;
    }
    EXPECT_EQ(strOut, kHeader + Row("a.example", "3"));
    const bool bFirstTakesIt = CShard{1, 2}.Takes("a.example");
    const std::string strEmpty = "tallyvine-scan: standard input holds no domain name in shard "s +
                                 (bFirstTakesIt ? "2/2" : "1/2") + "; nothing written\n";
    const std::string strScanned = Summary("1 row scanned: 1 value, 0 none");
    EXPECT_EQ(strErrors, bFirstTakesIt ? strScanned + strEmpty : strEmpty + strScanned);
}

TEST_F(ScanCommandTest, AListThatCannotBeReadFails) {
    const ScanRun run = Scan({PathOf("missing.txt")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, "tallyvine-scan: cannot read " + PathOf("missing.txt") +
                              ": No such file or directory\n");
    EXPECT_EQ(run.strOut, "");
}

// Root ignores permission bits, so the output goes below a plain file. The
// rows are written as they end, so the scan does not start.
TEST_F(ScanCommandTest, ACsvThatCannotBeWrittenFails) {
    std::ofstream(PathOf("plain")) << "kept";
    const std::string strOutput = PathOf("plain/out.csv");
    const ScanRun run = Scan({"--interval", "0", "--output", strOutput}, "a.example\n");
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr,
              "tallyvine-scan: cannot create " + strOutput + ".part: Not a directory\n");
    EXPECT_EQ(TestFolder::Read(PathOf("plain")), "kept");
    EXPECT_EQ(m_bed.RequestCount(), 0u);
}

TEST_F(ScanCommandTest, AClosedOutputIsAWriteError) {
    const ScanRun run = Scan({"--interval", "0", "--output", "/dev/full"}, "a.example\n");
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, "tallyvine-scan: cannot write /dev/full: No space left on device\n");
    EXPECT_EQ(m_bed.RequestCount(), 0u);
}

} // namespace
