// What tallyvine-scan tells of each cell's outcome: the warnings, the
// summary, the exit status, the JSON Lines, the user's sources, and a scan
// cut short by a signal.
#include "Gate.h"
#include "ScanProcess.h"
#include "queries/SQueryResult.h"
#include "tests/support/ServiceTestBed.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

namespace {

using namespace std::string_literals;
using Json = nlohmann::json;
using Service = ServiceTestBed::Service;

const std::string kHeader =
    "Domain name,PR,GSite,GSearch1,GSearch2,BSite,BSearch1,BSearch2,Alexa\r\n";

// The lines of a text, each without its line end.
std::vector<std::string> LinesOf(const std::string& strText, const std::string& strEnd) {
    std::vector<std::string> lines;
    std::size_t nStart = 0;
    for (std::size_t nEnd; (nEnd = strText.find(strEnd, nStart)) != std::string::npos;
         nStart = nEnd + strEnd.size()) {
        lines.push_back(strText.substr(nStart, nEnd - nStart));
    }
    return lines;
}

// Every line parsed; a line that is not JSON fails the test.
std::vector<Json> JsonLines(const std::string& strText) {
    std::vector<Json> objects;
    for (const std::string& strLine : LinesOf(strText, "\n")) {
        objects.push_back(Json::parse(strLine, nullptr, false));
        EXPECT_FALSE(objects.back().is_discarded()) << strLine;
    }
    return objects;
}

httplib::Server::Handler Status(int nStatus) {
    return [nStatus](const httplib::Request&, httplib::Response& res) {
        res.status = nStatus;
        res.set_content("no", "text/plain");
    };
}

struct FailureCase {
    const char* pszName;
    Service service; // answers with nStatus; Service::Unknown: all answer
    int nStatus;
    std::vector<std::string> extraArgs;
    int nExitCode;
    std::string strWarning; // the first of its kind, up to the address
    std::string strSummary; // the failing metric's line, or the whole summary
};

class ScanFailureTest : public testing::TestWithParam<FailureCase> {
protected:
    ServiceTestBed m_bed;
};

TEST_P(ScanFailureTest, AFailingServiceIsReportedOnceAndSetsTheExitStatus) {
    const FailureCase& failure = GetParam();
    if (failure.service != Service::Unknown) {
        m_bed.SetHandler(failure.service, Status(failure.nStatus));
    }
    std::vector<std::string> args{"--interval", "0"};
    args.insert(args.end(), failure.extraArgs.begin(), failure.extraArgs.end());
    const ScanRun run = RunScanner({args, "a.example\nb.example\n", m_bed.Host(), false});
    EXPECT_EQ(run.nExitCode, failure.nExitCode) << run.strErr;
    EXPECT_EQ(LinesOf(run.strOut, "\r\n").size(), 3u) << "the output is written all the same";
    if (failure.strWarning.empty()) {
        EXPECT_EQ(run.strErr, "tallyvine-scan: " + failure.strSummary + "\n");
        return;
    }
    const std::string strWarning =
        "tallyvine-scan: " + failure.strWarning + ": http://" + m_bed.Host() + "/";
    const std::size_t nAt = run.strErr.find(strWarning);
    EXPECT_NE(nAt, std::string::npos) << run.strErr;
    EXPECT_EQ(run.strErr.find(strWarning, nAt + 1), std::string::npos) << "only the first";
    EXPECT_NE(run.strErr.find("tallyvine-scan: " + failure.strSummary + "\n"), std::string::npos)
        << run.strErr;
}

INSTANTIATE_TEST_SUITE_P(
    Services, ScanFailureTest,
    testing::Values(FailureCase{"AllAnswer",
                                Service::Unknown,
                                0,
                                {},
                                0,
                                "",
                                "2 rows scanned: 2 values, 6 none, 0 failed"},
                    FailureCase{"RateLimited",
                                Service::Google,
                                429,
                                {},
                                3,
                                "GSite: blocked by the service (HTTP 429)",
                                "GSite failed 2 of 2: blocked 2"},
                    FailureCase{"ServerError",
                                Service::Baidu,
                                500,
                                {},
                                3,
                                "BSite: the service answered with an error (HTTP 500)",
                                "BSite failed 2 of 2: http_status 2"},
                    FailureCase{"UntickedServiceFailsUnasked",
                                Service::Baidu,
                                500,
                                {"--metrics", "PR,GSite"},
                                0,
                                "",
                                "2 rows scanned: 2 values, 2 none, 0 failed"},
                    FailureCase{"Forbidden",
                                Service::Alexa,
                                403,
                                {"--metrics", "Alexa"},
                                3,
                                "Alexa: the service answered with an error (HTTP 403)",
                                "Alexa failed 2 of 2: http_status 2"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.pszName; });

TEST(ScanSummaryTest, CountsEveryOutcomeAndQuietSaysNothing) {
    ServiceTestBed bed;
    bed.SetPageRank("b.example", "");
    bed.SetHandler(Service::Google, Status(429));
    const ScanRun run = RunScanner({{"--interval", "0", "--metrics", "PR,GSite"},
                                    "a.example\nb.example\n",
                                    bed.Host(),
                                    false});
    EXPECT_EQ(run.nExitCode, 3);
    // a.example's PageRank is the test bed's 5; b.example has none.
    EXPECT_NE(run.strErr.find("tallyvine-scan: 2 rows scanned: 1 value, 1 none, 2 failed\n"
                              "tallyvine-scan: GSite failed 2 of 2: blocked 2\n"),
              std::string::npos)
        << run.strErr;

    const ScanRun quiet = RunScanner({{"--interval", "0", "--metrics", "PR,GSite", "--quiet"},
                                      "a.example\nb.example\n",
                                      bed.Host(),
                                      false});
    EXPECT_EQ(quiet.nExitCode, 3);
    EXPECT_EQ(quiet.strErr, "");
    EXPECT_EQ(quiet.strOut, run.strOut);
}

// One scan whose cells meet every outcome.
TEST(ScanJsonLinesTest, EveryOutcomeIsWrittenWithWhatItHas) {
    ServiceTestBed bed;
    bed.SetPageRank("a.example", "7");
    bed.SetHandler(Service::Google, Status(429));
    const ScanRun run =
        RunScanner({{"--interval", "0", "--metrics", "PR,GSite,Alexa", "--format", "jsonl"},
                    "b.example\na.example\n",
                    bed.Host(),
                    false});
    EXPECT_EQ(run.nExitCode, 3) << run.strErr;
    const std::vector<Json> lines = JsonLines(run.strOut);
    ASSERT_EQ(lines.size(), 2u) << run.strOut;
    EXPECT_EQ(lines[0]["domain"], "a.example");
    EXPECT_EQ(lines[1]["domain"], "b.example");
    const Json& metrics = lines[0]["metrics"];
    EXPECT_EQ(metrics["PR"], Json({{"outcome", "value"}, {"http_status", 200}, {"value", "7"}}));
    EXPECT_EQ(metrics["Alexa"], Json({{"outcome", "none"}, {"http_status", 200}}));
    EXPECT_EQ(metrics["GSite"]["outcome"], "failed");
    EXPECT_EQ(metrics["GSite"]["reason"], "blocked");
    EXPECT_EQ(metrics["GSite"]["http_status"], 429);
    EXPECT_EQ(metrics["GSite"]["detail"].get<std::string>().rfind("http://" + bed.Host(), 0), 0u);
    EXPECT_EQ(metrics["GSite"].size(), 4u);
    EXPECT_EQ(metrics["GLink"], Json({{"outcome", "not_asked"}}));
    for (const char* pszAdded : {"Tranco", "Created", "FirstSeen", "TrancoList"}) {
        EXPECT_EQ(metrics[pszAdded], Json({{"outcome", "not_asked"}})) << pszAdded;
    }
    EXPECT_EQ(metrics.size(), 18u);
}

// A source of the user's own, in a temporary configuration folder; the test
// bed answers it with a GBK text.
class ScanUserSourceTest : public testing::Test {
protected:
    ServiceTestBed m_bed;
    TestFolder m_config{"config"};
    std::string m_strSource;

    void SetUp() override {
        std::filesystem::create_directories(m_config.Path() / "tallyvine" / "sources");
        m_strSource = m_config.Write("tallyvine/sources/mine.toml",
                                     "id = \"Mine\"\n"
                                     "label = \"Mine: a source of my own\"\n"
                                     "url = \"http://mine.example/mine?d={domain}\"\n"
                                     "pattern = 'value=([^;]*);'\n");
        m_bed.SetHandler(Service::Unknown, [](const httplib::Request&, httplib::Response& res) {
            res.set_content("value=\xB0\xD9\xB6\xC8 12;", "text/plain");
        });
    }
    ScanRun Scan(std::vector<std::string> args) const {
        ScanRequest request{std::move(args), "a.example\n", m_bed.Host(), false};
        request.env.push_back("XDG_CONFIG_HOME=" + m_config.Path().string());
        request.env.push_back("XDG_CACHE_HOME=" + m_config.PathOf("cache"));
        return RunScanner(request);
    }
};

// A source from a file also says which search its pattern takes.
TEST_F(ScanUserSourceTest, ListSourcesNamesItsFileAndItsSearch) {
    const std::string strTheirs = m_config.Write("tallyvine/sources/theirs.toml",
                                                 "id = \"Theirs\"\n"
                                                 "label = \"Theirs: a back-reference\"\n"
                                                 "url = \"http://mine.example/theirs?d={domain}\"\n"
                                                 "pattern = '(\\w)\\1'\n");
    const ScanRun run = Scan({"--list-sources"});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(run.strErr, "");
    const std::vector<std::string> lines = LinesOf(run.strOut, "\n");
    ASSERT_EQ(lines.size(), 20u) << run.strOut;
    EXPECT_EQ(lines[0], "PR\tPR: Google PageRank\tbuilt in");
    EXPECT_EQ(lines[10], "Tranco\tTranco: Tranco top-sites rank\tbuilt in");
    EXPECT_EQ(lines[11], "Created\tCreated: registration date (RDAP)\tbuilt in");
    EXPECT_EQ(lines[12], "FirstSeen\tFirstSeen: first capture in the web archive\tbuilt in");
    // A list source tells of its cached list.
    EXPECT_EQ(lines[13], "TrancoList\tTrancoList: Tranco top-million list rank\tbuilt "
                         "in\tlist not downloaded");
    EXPECT_EQ(lines[18], "Mine\tMine: a source of my own\t" + m_strSource + "\tlinear");
    EXPECT_EQ(lines[19], "Theirs\tTheirs: a back-reference\t" + strTheirs + "\tbudgeted");
}

// A source that reads its reply with a jq program takes no pattern search:
// its line names no search, only the variables it reads.
TEST_F(ScanUserSourceTest, ListSourcesNamesNoSearchForAJqProgram) {
    const std::string strOurs = m_config.Write("tallyvine/sources/ours.toml",
                                               "id = \"Ours\"\n"
                                               "label = \"Ours: a jq program\"\n"
                                               "url = \"http://mine.example/ours?d={domain}\"\n"
                                               "headers = [\"K: {env:TALLYVINE_OURS}\"]\n"
                                               "jq = '.rank'\n");
    const ScanRun run = Scan({"--list-sources"});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(run.strErr, "");
    const std::vector<std::string> lines = LinesOf(run.strOut, "\n");
    ASSERT_EQ(lines.size(), 20u) << run.strOut;
    EXPECT_EQ(lines[18], "Mine\tMine: a source of my own\t" + m_strSource + "\tlinear");
    EXPECT_EQ(lines[19], "Ours\tOurs: a jq program\t" + strOurs + "\tTALLYVINE_OURS");
}

TEST_F(ScanUserSourceTest, ItsColumnComesOnlyWhenTicked) {
    struct Case {
        std::vector<std::string> args;
        std::string strOut;
    };
    for (const Case& scan :
         {Case{{"--metrics", "PR"}, kHeader + "a.example,5,\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"},
          Case{{"--metrics", "PR,mine"},
               "Domain name,PR,GSite,GSearch1,GSearch2,BSite,BSearch1,BSearch2,Alexa,Mine\r\n"
               "a.example,5,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\xB0\xD9\xB6\xC8 12\"\r\n"}}) {
        std::vector<std::string> args{"--interval", "0", "--quiet"};
        args.insert(args.end(), scan.args.begin(), scan.args.end());
        const ScanRun run = Scan(args);
        EXPECT_EQ(run.nExitCode, 0) << scan.args[1];
        EXPECT_EQ(run.strOut, scan.strOut);
    }
}

TEST_F(ScanUserSourceTest, ItIsAJsonMemberTickedOrNot) {
    const ScanRun unticked = Scan({"--interval", "0", "--metrics", "PR", "--format", "jsonl"});
    EXPECT_EQ(unticked.nExitCode, 0) << unticked.strErr;
    std::vector<Json> lines = JsonLines(unticked.strOut);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["metrics"]["Mine"], Json({{"outcome", "not_asked"}}));

    // The GBK bytes are not UTF-8: each line stays valid JSON all the same.
    const ScanRun ticked = Scan({"--interval", "0", "--metrics", "PR,Mine", "--format=jsonl"});
    EXPECT_EQ(ticked.nExitCode, 0) << ticked.strErr;
    lines = JsonLines(ticked.strOut);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["metrics"]["Mine"]["outcome"], "value");
    const std::string strValue = lines[0]["metrics"]["Mine"]["value"];
    EXPECT_EQ(strValue.rfind("\xEF\xBF\xBD", 0), 0u) << strValue;
    EXPECT_NE(strValue.find(" 12"), std::string::npos) << strValue;
}

TEST_F(ScanUserSourceTest, AFileLeftOutIsNamedAtStart) {
    const std::string strBad = m_config.Write("tallyvine/sources/bad.toml", "id = \n");
    const ScanRun run = Scan({"--interval", "0", "--metrics", "PR"});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(run.strErr.rfind("tallyvine-scan: source left out: " + strBad + ":1: ", 0), 0u)
        << run.strErr;
    EXPECT_EQ(Scan({"--interval", "0", "--metrics", "PR", "--quiet"}).strErr, "");
    const ScanRun list = Scan({"--list-sources"});
    EXPECT_EQ(list.strErr.rfind("tallyvine-scan: source left out: " + strBad + ":1: ", 0), 0u)
        << list.strErr;
    EXPECT_EQ(LinesOf(list.strOut, "\n").size(), 19u);
}

// A key in a source's address reaches neither the JSON Lines nor the
// warnings: the address is shown with the key's value hidden.
TEST_F(ScanUserSourceTest, AKeyedAddressIsShownWithoutItsKey) {
    m_config.Write("tallyvine/sources/keyed.toml",
                   "id = \"Keyed\"\nlabel = \"Keyed: a service with a key\"\n"
                   "url = \"http://keyed.example/k/{domain}?key={env:TALLYVINE_TEST_KEY}\"\n"
                   "pattern = 'never=([0-9]+)'\n");
    ScanRequest request{{"--interval", "0", "--metrics", "PR,Keyed", "--format", "jsonl"},
                        "a.example\n",
                        m_bed.Host(),
                        false};
    request.env.push_back("XDG_CONFIG_HOME=" + m_config.Path().string());
    request.env.push_back("TALLYVINE_TEST_KEY=s3cret-key");
    const ScanRun run = RunScanner(request);
    const std::string strShown = "http://" + m_bed.Host() + "/k/a.example?key=...";
    const std::vector<Json> lines = JsonLines(run.strOut);
    ASSERT_EQ(lines.size(), 1u) << run.strErr;
    EXPECT_EQ(lines[0]["metrics"]["Keyed"]["reason"], "no_match");
    EXPECT_EQ(lines[0]["metrics"]["Keyed"]["detail"], strShown);
    EXPECT_NE(run.strErr.find("Keyed: " + std::string(ReasonPhrase(EFailReason::NoMatch)) +
                              " (HTTP 200): " + strShown),
              std::string::npos)
        << run.strErr;
    EXPECT_EQ(run.strOut.find("s3cret"), std::string::npos);
    EXPECT_EQ(run.strErr.find("s3cret"), std::string::npos) << run.strErr;
}

// The variables a source reads are listed; a label cannot drive the
// terminal.
TEST_F(ScanUserSourceTest, ListSourcesNamesTheVariablesAndEscapesControls) {
    const std::string strKeyed =
        m_config.Write("tallyvine/sources/keyed.toml",
                       "id = \"Keyed\"\nlabel = \"Keyed\\u001B[2J\\tcleared\"\n"
                       "url = \"http://k.example/{env:TALLYVINE_A}?k={env:TALLYVINE_B}\"\n"
                       "headers = [\"K: {env:TALLYVINE_A}\"]\npattern = '(x)'\n");
    const ScanRun run = Scan({"--list-sources"});
    EXPECT_EQ(run.nExitCode, 0);
    const std::vector<std::string> lines = LinesOf(run.strOut, "\n");
    ASSERT_EQ(lines.size(), 20u) << run.strOut;
    EXPECT_EQ(lines[0], "PR\tPR: Google PageRank\tbuilt in");
    EXPECT_EQ(lines[18], "Keyed\tKeyed\\x1B[2J\\x09cleared\t" + strKeyed +
                             "\tlinear\tTALLYVINE_A,TALLYVINE_B");
}

// Holds the test bed's answers for one domain until the test ends.
struct SignalCase {
    const char* pszName;
    int nSignal;
    std::string strFormat;
    bool bQuiet;
};

class ScanSignalTest : public testing::TestWithParam<SignalCase> {
protected:
    ServiceTestBed m_bed;
    Gate m_gate; // opened before the test bed stops
};

// The second row's service never answers: the signal comes while it waits,
// after the first row ended.
TEST_P(ScanSignalTest, ASignalWritesTheFinishedRowsAndEndsAtOnce) {
    const SignalCase& signal = GetParam();
    m_bed.SetHandler(Service::PageRank,
                     [this](const httplib::Request& req, httplib::Response& res) {
                         if (req.get_param_value("q") == "info:b.example") {
                             m_gate.Wait();
                         }
                         res.set_content("Rank_1:1:4\n", "text/plain");
                     });
    std::chrono::steady_clock::time_point sent;
    std::vector<std::string> args{"--interval", "0",        "--metrics",
                                  "PR",         "--format", signal.strFormat};
    if (signal.bQuiet) {
        args.push_back("--quiet");
    }
    ScanRequest request{args, "a.example\nb.example\nc.example\n", m_bed.Host(), false};
    request.pfnStarted = [&](pid_t pid) {
        ASSERT_TRUE(m_bed.WaitForRequests(2, std::chrono::seconds(10)));
        sent = std::chrono::steady_clock::now();
        kill(pid, signal.nSignal);
    };
    const ScanRun run = RunScanner(request);
    const auto took = std::chrono::steady_clock::now() - sent;
    EXPECT_EQ(run.nExitCode, 128 + signal.nSignal) << run.strErr;
    EXPECT_LT(took, std::chrono::seconds(2));
    if (signal.strFormat == "csv") {
        EXPECT_EQ(run.strOut, kHeader + "a.example,4,\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
    } else {
        const std::vector<Json> lines = JsonLines(run.strOut);
        ASSERT_EQ(lines.size(), 1u) << run.strOut;
        EXPECT_EQ(lines[0]["domain"], "a.example");
    }
    // Quiet or not, the scanner says why rows are missing.
    const std::string strStopped =
        "tallyvine-scan: stopped by "s + signal.pszName + "; 2 of 3 rows left unscanned\n";
    EXPECT_EQ(run.strErr, signal.bQuiet ? strStopped
                                        : "tallyvine-scan: 1 row scanned: 1 value, 0 none, 0 "
                                          "failed\n" +
                                              strStopped)
        << run.strErr;
}

INSTANTIATE_TEST_SUITE_P(Signals, ScanSignalTest,
                         testing::Values(SignalCase{"SIGTERM", SIGTERM, "csv", false},
                                         SignalCase{"SIGINT", SIGINT, "jsonl", false},
                                         SignalCase{"SIGHUP", SIGHUP, "csv", true}),
                         [](const testing::TestParamInfo<SignalCase>& info) {
                             return info.param.pszName;
                         });

} // namespace
