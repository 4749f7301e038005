#include "core/CSourceFile.h"
#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "tests/core/MessageLog.h"
#include "tests/support/Metrics.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The example of the documentation, as a user would write it.
constexpr const char* kExample = R"(id = "MyRank"
label = "MyRank: my ranking service"
url = "http://rank.example.org/api/{domain}?t={token}"
pattern = '"rank":\s*([0-9]+)'
none_pattern = '"rank":\s*null'
interval_ms = 700
order = "ascending"
headers = ["API-Key: {env:TALLYVINE_MY_KEY}"]
)";

const std::set<std::string> kBuiltInIds = {"PR", "ALEXA", "GSITE"};

TEST(CSourceFileTest, TheDocumentedExampleReads) {
    SMetric metric;
    std::string strError;
    ASSERT_TRUE(CSourceFile::Read(kExample, "my.toml", kBuiltInIds, metric, strError)) << strError;
    EXPECT_EQ(metric.strId, "MyRank");
    EXPECT_EQ(metric.strLabel, "MyRank: my ranking service");
    EXPECT_EQ(metric.query.strUrl, "http://rank.example.org/api/{domain}?t={token}");
    EXPECT_EQ(metric.query.strPattern, R"("rank":\s*([0-9]+))");
    EXPECT_EQ(metric.query.strNonePattern, R"("rank":\s*null)");
    EXPECT_EQ(metric.nIntervalMs, 700);
    EXPECT_TRUE(metric.bAscending);
    EXPECT_EQ(metric.query.arrHeaders, std::vector<std::string>{"API-Key: {env:TALLYVINE_MY_KEY}"});
    EXPECT_EQ(metric.sortKey, ESortKey::Count) << "numbers, commas or not";
    EXPECT_EQ(metric.nExportPlace, SMetric::kExportWhenTicked);
    EXPECT_FALSE(metric.bDefault);
}

struct BrokenCase {
    const char* pszName;
    const char* pszText;
    const char* pszMessage; // "file:line: " and a part of the rest
};

class BrokenFileTest : public testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenFileTest, SaysWhereAndWhat) {
    SMetric metric;
    std::string strError;
    EXPECT_FALSE(
        CSourceFile::Read(GetParam().pszText, "dir/a.toml", kBuiltInIds, metric, strError));
    EXPECT_NE(strError.find(GetParam().pszMessage), std::string::npos) << strError;
}

constexpr const char* kHead = "label = \"L\"\nurl = \"http://x/{domain}\"\npattern = '(x)'\n";

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenFileTest,
    testing::Values(
        BrokenCase{"Syntax", "id = \"A\"\nlabel = \n", "dir/a.toml:2: "},
        BrokenCase{"MissingField", "id = \"A\"\nlabel = \"L\"\npattern = '(x)'\n",
                   "dir/a.toml:1: missing field 'url'"},
        BrokenCase{"BadId",
                   "label = \"L\"\nurl = \"http://x/\"\npattern = '(x)'\nid = \"9lives\"\n",
                   "dir/a.toml:4: the id '9lives' must be a letter"},
        BrokenCase{"TakenId",
                   "id = \"gsite\"\nlabel = \"L\"\nurl = \"http://x/\"\npattern = '(x)'\n",
                   "dir/a.toml:1: the id 'gsite' is taken"},
        BrokenCase{"PatternDoesNotCompile",
                   "id = \"A\"\nlabel = \"L\"\nurl = \"http://x/\"\npattern = '(['\n",
                   "dir/a.toml:4: 'pattern' does not compile"},
        BrokenCase{
            "UnknownPlaceholder",
            "id = \"A\"\nlabel = \"L\"\nurl = \"http://x/{host}/{domain}\"\npattern = '(x)'\n",
            "dir/a.toml:3: unknown placeholder {host} in 'url'"},
        BrokenCase{"UnknownPlaceholderInAHeader",
                   "id = \"A\"\nlabel = \"L\"\nurl = \"http://x/\"\npattern = '(x)'\n"
                   "headers = [\"K: {env:}\"]\n",
                   "dir/a.toml:5: unknown placeholder {env:}"},
        BrokenCase{"UnknownField",
                   "id = \"A\"\ncolour = \"red\"\nlabel = \"L\"\nurl = \"http://x/\"\n"
                   "pattern = '(x)'\n",
                   "dir/a.toml:2: unknown field 'colour'"},
        BrokenCase{"WrongType",
                   "id = \"A\"\nlabel = \"L\"\nurl = \"http://x/\"\npattern = '(x)'\n"
                   "interval_ms = \"fast\"\n",
                   "dir/a.toml:5: 'interval_ms' must be a whole number"},
        BrokenCase{"BadOrder",
                   "id = \"A\"\nlabel = \"L\"\nurl = \"http://x/\"\npattern = '(x)'\n"
                   "order = \"up\"\n",
                   "dir/a.toml:5: 'order' must be one of ascending, descending"},
        BrokenCase{"VariableOutsideThePrefix",
                   "id = \"A\"\nlabel = \"L\"\nurl = \"http://x/\"\npattern = '(x)'\n"
                   "headers = [\"K: {env:TALLYVINE_OK}\", \"S: {env:AWS_SECRET_ACCESS_KEY}\"]\n",
                   "dir/a.toml:5: {env:AWS_SECRET_ACCESS_KEY} in 'headers': only variables whose "
                   "names start with TALLYVINE_ may be read"},
        BrokenCase{"VariableOutsideThePrefixInTheUrl",
                   "id = \"A\"\nlabel = \"L\"\nurl = \"http://x/?k={env:HOME}\"\n"
                   "pattern = '(x)'\n",
                   "dir/a.toml:3: {env:HOME} in 'url'"},
        BrokenCase{"EmptyUrl", "id = \"A\"\nlabel = \"L\"\nurl = \"\"\npattern = '(x)'\n",
                   "dir/a.toml:3: 'url' must not be empty"},
        BrokenCase{"FtpUrl",
                   "id = \"A\"\nlabel = \"L\"\nurl = \"ftp://x/{domain}\"\npattern = '(x)'\n",
                   "dir/a.toml:3: 'url' must be an http or https address (written in lower case), "
                   "not 'ftp:'"},
        BrokenCase{"FileUrl",
                   "id = \"A\"\nlabel = \"L\"\nurl = \"file:///etc/passwd\"\npattern = '(x)'\n",
                   "dir/a.toml:3: 'url' must be an http or https address"},
        BrokenCase{"UpperCaseScheme",
                   "id = \"A\"\nlabel = \"L\"\nurl = \"HTTPS://x/\"\npattern = '(x)'\n",
                   "dir/a.toml:3: 'url' must be an http or https address"}),
    [](const testing::TestParamInfo<BrokenCase>& info) { return info.param.pszName; });

// A scheme-less address is asked over http, as it always was; a host with a
// port is no scheme.
TEST(CSourceFileTest, AddressesWithoutSchemeRead) {
    for (const char* pszUrl :
         {"x.example/{domain}", "x.example:8080/{domain}", "{domain}/a", "https://x.example/"}) {
        SMetric metric;
        std::string strError;
        const std::string strText =
            std::string("id = \"A\"\nlabel = \"L\"\nurl = \"") + pszUrl + "\"\npattern = '(x)'\n";
        EXPECT_TRUE(CSourceFile::Read(strText, "a.toml", kBuiltInIds, metric, strError))
            << pszUrl << ": " << strError;
    }
}

// The fields that tie a metric into the program's own places: a user's
// export_place = 0 would put its column into every export, ticked or not.
TEST(CSourceFileTest, BuiltInOnlyFieldsAreRefusedInAUsersFile) {
    for (std::string_view strField : CSourceFile::kBuiltInOnlyFields) {
        const std::string strText = "id = \"A\"\nlabel = \"L\"\nurl = \"http://x/\"\n"
                                    "pattern = '(x)'\n" +
                                    std::string(strField) +
                                    (strField == "always_asked" ? " = true\n" : " = 0\n");
        SMetric metric;
        std::string strError;
        EXPECT_FALSE(CSourceFile::Read(strText, "a.toml", kBuiltInIds, metric, strError));
        EXPECT_EQ(strError,
                  "a.toml:5: '" + std::string(strField) + "' is set by the built-in sources only");
        strError.clear();
        EXPECT_TRUE(CSourceFile::Read(strText, "a.toml", kBuiltInIds, metric, strError,
                                      CSourceFile::EOrigin::BuiltIn))
            << strError;
    }
}

// A configuration folder of the test's own for the user's definitions.
class UserSourcesTest : public testing::Test {
protected:
    TestFolder m_folder{"sources"};

    void SetUp() override {
        const char* pszOld = std::getenv("XDG_CONFIG_HOME");
        m_strOld = pszOld != nullptr ? pszOld : "";
        m_bHadOld = pszOld != nullptr;
        setenv("XDG_CONFIG_HOME", m_folder.PathOf("config").c_str(), 1);
    }
    void TearDown() override {
        if (m_bHadOld) {
            setenv("XDG_CONFIG_HOME", m_strOld.c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        CMetricTable::Reload();
    }

    void WriteSource(const std::string& strName, const std::string& strText) {
        std::filesystem::create_directories(m_folder.PathOf("config/tallyvine/sources"));
        m_folder.Write("config/tallyvine/sources/" + strName, strText);
    }

private:
    std::string m_strOld;
    bool m_bHadOld = false;
};

TEST_F(UserSourcesTest, FilesAddSourcesInNameOrderAndBrokenOnesAreLeftOut) {
    WriteSource("b.toml", kExample);
    WriteSource("a.toml", "id = \"First\"\nlabel = \"F\"\nurl = \"http://f/{domain}\"\n"
                          "pattern = '(x)'\n");
    WriteSource("c.toml", "id = \"Tranco\"\nlabel = \"T\"\nurl = \"http://t/\"\npattern = '(x)'\n");
    WriteSource("d.toml", "id = \"Broken\"\nlabel = [\n");
    WriteSource("notes.txt", "not a definition");
    CMetricTable::Reload();
    ASSERT_EQ(CMetricTable::Count(), Metric::Count + 2);
    EXPECT_EQ(CMetricTable::At(Metric::Count).strId, "First");
    EXPECT_EQ(CMetricTable::At(Metric::Count + 1).strId, "MyRank");
    EXPECT_EQ(CMetricTable::At(Metric::Count + 1).strOrigin,
              m_folder.PathOf("config/tallyvine/sources/b.toml"));
    EXPECT_TRUE(CMetricTable::At(Metric::Tranco).strOrigin.empty());
    // Asked after every built-in metric, in table order.
    const auto& order = CMetricTable::QueryOrder();
    EXPECT_EQ(std::vector<std::size_t>(order.end() - 2, order.end()),
              (std::vector<std::size_t>{Metric::Count, Metric::Count + 1}));
    const auto& errors = CMetricTable::LoadErrors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("c.toml:1: the id 'Tranco' is taken"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("d.toml:2: "), std::string::npos) << errors[1];
}

// Every *.toml that is no readable definition file is named, not skipped.
TEST_F(UserSourcesTest, WhatIsNoDefinitionFileIsNamed) {
    WriteSource("a.toml", "id = \"First\"\nlabel = \"F\"\nurl = \"http://f/{domain}\"\n"
                          "pattern = '(x)'\n");
    const std::filesystem::path folder = m_folder.PathOf("config/tallyvine/sources");
    std::filesystem::create_directory(folder / "folder.toml");
    std::filesystem::create_symlink("loop.toml", folder / "loop.toml");
    std::filesystem::create_symlink("nowhere", folder / "gone.toml");
    WriteSource("esc\x1B[2J.toml", "id = \n");
    WriteSource("big.toml", "id = \"Big\"\nlabel = \"B\"\nurl = \"http://b/\"\n"
                            "pattern = '(x)'\n#" +
                                std::string(CSourceFile::kMostBytes, 'x') + "\n");
    CMetricTable::Reload();
    ASSERT_EQ(CMetricTable::Count(), Metric::Count + 1);
    const std::vector<std::string> expected = {
        (folder / "big.toml").string() + ":1: is larger than 1 MiB",
        (folder / "esc\\x1B[2J.toml").string() + ":1: ",
        (folder / "folder.toml").string() + ":1: is a folder, not a definition file",
        (folder / "gone.toml").string() + ":1: cannot be read: ",
        (folder / "loop.toml").string() + ":1: cannot be read: ",
    };
    const auto& errors = CMetricTable::LoadErrors();
    ASSERT_EQ(errors.size(), expected.size());
    for (std::size_t n = 0; n < expected.size(); ++n) {
        EXPECT_EQ(errors[n].rfind(expected[n], 0), 0u) << errors[n];
    }
}

// A local rank service that answers as the top-sites list does.
class RankService {
public:
    RankService() {
        m_server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_arrAt.push_back(std::chrono::steady_clock::now());
            m_arrTargets.push_back(req.target);
            if (req.target.find("busy") != std::string::npos && m_arrTargets.size() == 1) {
                res.status = 429;
                res.set_header("Retry-After", "1");
                return;
            }
            if (req.target.find("unranked") != std::string::npos) {
                res.set_content(R"({"domain":"unranked.example","ranks":[]})", "application/json");
                return;
            }
            res.set_content(
                R"({"domain":"x","ranks":[{"date":"2026-11-29","rank":140},)"
                R"({"date":"2026-12-01","rank":123},{"date":"2026-11-30","rank":131}]})",
                "application/json");
        });
        m_nPort = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(1ms);
        }
    }
    ~RankService() {
        m_server.stop();
        m_thread.join();
    }

    std::string Host() const { return "127.0.0.1:" + std::to_string(m_nPort); }
    std::vector<std::chrono::steady_clock::time_point> Times() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrAt;
    }
    std::vector<std::string> Targets() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrTargets;
    }

private:
    httplib::Server m_server;
    int m_nPort = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::chrono::steady_clock::time_point> m_arrAt;
    std::vector<std::string> m_arrTargets;
};

TEST(TrancoTest, TheNewestDaysRankOrNotRanked) {
    RankService service;
    CMetricQuery query(CServiceHosts::AllOn(service.Host()));
    const SQueryRule& rule = CMetricTable::At(Metric::Tranco).query;
    const SQueryResult ranked = query.Query(rule, "ranked.example");
    EXPECT_EQ(ranked.state.outcome, EOutcome::Value);
    EXPECT_EQ(ranked.strValue, "123");
    const SQueryResult unranked = query.Query(rule, "unranked.example");
    EXPECT_EQ(unranked.state.outcome, EOutcome::None);
    EXPECT_EQ(service.Targets().front(), "/api/ranks/domain/ranked.example");
    EXPECT_EQ(query.RequestUrl(rule, "ranked.example", "t"),
              "https://tranco-list.eu/api/ranks/domain/ranked.example");
}

// Tranco allows a request a second: the controller keeps that interval
// between its requests, and waits as long as a 429 answer asks before asking
// again.
TEST(TrancoTest, TheIntervalAndRetryAfterAreKept) {
    RankService service;
    CRecordStore store;
    MessageLog log;
    CQueryManager manager(store, &log, CServiceHosts::AllOn(service.Host()));
    for (std::size_t i = 0; i < CMetricTable::Count(); ++i) {
        manager.SetMetricFlag(i, i == Metric::Tranco);
    }
    manager.SetInterval(0);
    store.AddDomain("busy.example");
    store.AddDomain("next.example");
    manager.ScanEveryRowOnce();
    const auto times = service.Times();
    ASSERT_EQ(times.size(), 3u);
    EXPECT_GE(times[1] - times[0], 1000ms) << "Retry-After: 1";
    EXPECT_GE(times[2] - times[1], 950ms) << "interval_ms = 1000";
    EXPECT_EQ(store.Find("busy.example")->GetMetric(Metric::Tranco), "123");
    EXPECT_EQ(store.Find("next.example")->GetCellState(Metric::Tranco).outcome, EOutcome::Value);
}

} // namespace
