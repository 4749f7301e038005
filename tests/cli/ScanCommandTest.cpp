#include "ScanProcess.h"
#include "tests/support/ServiceTestBed.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Service = ServiceTestBed::Service;

const std::string kUsage =
    "usage: tallyvine-scan [--metrics LIST] [--interval MS] [--output FILE] [--quiet] "
    "[LISTFILE]\n";
const std::string kHeader =
    "Domain name,PR,GSite,GSearch1,GSearch2,BSite,BSearch1,BSearch2,Alexa\r\n";

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
                  "GSearch2, BSite, BLink, BSearch1, BSearch2, Tranco)"},
        UsageCase{"EmptyMetric",
                  {"--metrics=GSite,"},
                  "unknown metric '' (known: PR, Alexa, GSite, GLink, GSearch1, GSearch2, "
                  "BSite, BLink, BSearch1, BSearch2, Tranco)"},
        UsageCase{"FlagWithValue", {"--quiet=yes"}, "option '--quiet' takes no value"},
        UsageCase{
            "TwoLists", {"a.txt", "b.txt"}, "more than one list file given ('a.txt', 'b.txt')"}),
    [](const testing::TestParamInfo<UsageCase>& info) { return info.param.pszName; });

TEST(ScanHelpTest, ExplainsEveryOptionOnStandardOutput) {
    const ScanRun run = RunScanner({{"--help"}, "", "", false});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(run.strErr, "");
    EXPECT_EQ(run.strOut.rfind(kUsage, 0), 0u);
    for (const char* pszOption :
         {"--metrics", "--interval", "--output", "--quiet", "--help", "LISTFILE", "Exit status"}) {
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
                              strList + ":5: skipped 'b.example': repeats an earlier name\n");
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
                  "here; the rest of the list is ignored\n");

    const ScanRun quiet = Scan({"--interval", "0", "--metrics", "PR", "--quiet"}, strList);
    EXPECT_EQ(quiet.strErr, "");
    EXPECT_EQ(quiet.strOut, run.strOut);
}

TEST_F(ScanCommandTest, QueriesOnlyTheChosenMetricsAndAlwaysPageRank) {
    const ScanRun run = Scan({"--interval", "0", "--metrics", "glink,BSEARCH2"}, "a.example\n");
    EXPECT_EQ(run.nExitCode, 0) << run.strErr;
    EXPECT_EQ(run.strOut, kHeader + Row("a.example", "3"));
    EXPECT_EQ(RequestsTo(Service::PageRank), 1u);
    EXPECT_EQ(RequestsTo(Service::Google), 1u);
    EXPECT_EQ(RequestsTo(Service::Baidu), 1u);
    EXPECT_EQ(RequestsTo(Service::Alexa), 0u);
}

TEST_F(ScanCommandTest, ShowsProgressOnlyOnATerminal) {
    const ScanRun run = RunScanner(
        {{"--interval", "0", "--metrics", "PR"}, "b.example\na.example\n", m_bed.Host(), true});
    EXPECT_EQ(run.nExitCode, 0);
    // The worker starts with the first name read, so which row comes first
    // depends on how far the reading got.
    for (const char* pszProgress : {"tallyvine-scan: row 1 of ", "tallyvine-scan: row 2 of 2: ",
                                    ": a.example\r\n", ": b.example\r\n"}) {
        EXPECT_NE(run.strErr.find(pszProgress), std::string::npos) << run.strErr;
    }

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

TEST_F(ScanCommandTest, AListThatCannotBeReadFails) {
    const ScanRun run = Scan({PathOf("missing.txt")});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, "tallyvine-scan: cannot read " + PathOf("missing.txt") +
                              ": No such file or directory\n");
    EXPECT_EQ(run.strOut, "");
}

// Root ignores permission bits, so the output goes below a plain file.
TEST_F(ScanCommandTest, ACsvThatCannotBeWrittenFails) {
    std::ofstream(PathOf("plain")) << "kept";
    const std::string strOutput = PathOf("plain/out.csv");
    const ScanRun run = Scan({"--interval", "0", "--output", strOutput}, "a.example\n");
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, "tallyvine-scan: cannot create " + strOutput + ": Not a directory\n");
    EXPECT_EQ(TestFolder::Read(PathOf("plain")), "kept");
}

TEST_F(ScanCommandTest, AClosedOutputIsAWriteError) {
    const ScanRun run = Scan({"--interval", "0", "--output", "/dev/full"}, "a.example\n");
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, "tallyvine-scan: cannot write /dev/full: No space left on device\n");
}

} // namespace
