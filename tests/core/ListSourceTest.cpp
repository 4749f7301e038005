#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "core/CRecordStore.h"
#include "core/CSourceFile.h"
#include "tests/core/MessageLog.h"
#include "tests/core/WorkerEnd.h"
#include "tests/lists/ListFixtures.h"
#include "tests/support/Metrics.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>

namespace {

using list_fixtures::ListServer;

constexpr const char* kListHead = "id = \"Top\"\nlabel = \"L\"\n"
                                  "list_url = \"http://lists.example/top.zip\"\n";

struct SFieldCase {
    const char* pszName;
    const char* pszFields;
    const char* pszMessage;
};

TEST(ListSourceFileTest, BrokenListFieldsSayWhereAndWhat) {
    const SFieldCase cases[] = {
        {"not http", "id = \"A\"\nlabel = \"L\"\nlist_url = \"ftp://x/list.zip\"\n",
         "a.toml:3: 'list_url' must be an http or https address"},
        {"also a request", "url = \"http://x/{domain}\"\n", "a.toml:4: a list source has"},
        {"header name without a header", "list_value_column = \"rank\"\n",
         "a.toml:4: 'list_value_column' names a header, but 'list_header' is not true"},
        {"column zero", "list_name_column = 0\n",
         "a.toml:4: 'list_name_column' must be a column number from 1 to 1000"},
        {"separator", "list_separator = \"semicolon\"\n",
         "a.toml:4: 'list_separator' must be one of comma, tab"},
        {"names", "list_names = \"url\"\n",
         "a.toml:4: 'list_names' must be one of registrable, host, origin, reversed"},
        {"origin lookup of hosts", "list_names = \"host\"\nlist_lookup = \"origin\"\n",
         "a.toml:5: 'list_lookup' origin goes with 'list_names' origin only"},
        {"refresh", "list_refresh_hours = 0\n", "a.toml:4: 'list_refresh_hours' must be"},
    };
    for (const SFieldCase& test : cases) {
        const std::string strText = std::string(test.pszFields).starts_with("id =")
                                        ? std::string(test.pszFields)
                                        : std::string(kListHead) + test.pszFields;
        SMetric metric;
        std::string strError;
        EXPECT_FALSE(CSourceFile::Read(strText, "a.toml", {}, metric, strError)) << test.pszName;
        EXPECT_NE(strError.find(test.pszMessage), std::string::npos)
            << test.pszName << ": " << strError;
    }
}

TEST(ListSourceFileTest, BuiltInListsReadAsTheyArePublished) {
    const SListSource& tranco = CMetricTable::At(Metric::TrancoList).listSource;
    EXPECT_EQ(tranco.list.strUrl, "https://tranco-list.eu/top-1m.csv.zip");
    EXPECT_EQ(tranco.list.strMember, "top-1m.csv");
    EXPECT_FALSE(tranco.list.bHeader);
    EXPECT_EQ(tranco.list.nameColumn, (SListColumn{2, {}}));
    EXPECT_EQ(tranco.value, (SListColumn{1, {}}));
    EXPECT_EQ(tranco.lookup, EListLookup::Registrable);
    EXPECT_EQ(CMetricTable::At(Metric::CrUX).listSource.lookup, EListLookup::Origin);
    EXPECT_EQ(CMetricTable::At(Metric::Umbrella).listSource.lookup, EListLookup::Host);
    // The two Majestic sources read one list, downloaded once for both.
    const SListSource& rank = CMetricTable::At(Metric::Majestic).listSource;
    const SListSource& subnets = CMetricTable::At(Metric::MajesticRefSubNets).listSource;
    EXPECT_EQ(rank.list.FormatKey(), subnets.list.FormatKey());
    const std::vector<SListColumn> both = {{0, "GlobalRank"}, {0, "RefSubNets"}};
    EXPECT_EQ(rank.list.valueColumns, both);
    EXPECT_EQ(subnets.list.valueColumns, both);
    EXPECT_TRUE(CMetricTable::At(Metric::Majestic).bAscending);
    EXPECT_FALSE(CMetricTable::At(Metric::MajesticRefSubNets).bAscending);
    for (std::size_t nMetric = Metric::TrancoList; nMetric < Metric::Count; ++nMetric) {
        EXPECT_FALSE(CMetricTable::At(nMetric).bDefault) << CMetricTable::At(nMetric).strId;
        EXPECT_FALSE(CMetricTable::At(nMetric).listSource.list.strAttribution.empty());
    }
}

// Collects the list progress the worker reports.
class ListLog : public MessageLog {
public:
    void OnListProgress(const std::string& strTitle, const SListProgress& progress) override {
        std::lock_guard<std::mutex> lock(m_lock);
        m_titles.push_back(strTitle);
        m_stages.push_back(progress.stage);
    }
    std::vector<SListProgress::EStage> Stages() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_stages;
    }
    std::vector<std::string> Titles() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_titles;
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_titles;
    std::vector<SListProgress::EStage> m_stages;
};

// A user's list source ("Top", a zip of Tranco's shape) served by a local
// server, with a cache folder of the test's own.
class ListWorkerTest : public testing::Test {
protected:
    void SetUp() override {
        Keep("XDG_CONFIG_HOME", m_folder.PathOf("config"));
        Keep("XDG_CACHE_HOME", m_folder.PathOf("cache"));
        std::filesystem::create_directories(m_folder.PathOf("config/tallyvine/sources"));
        m_folder.Write("config/tallyvine/sources/top.toml",
                       std::string(kListHead) +
                           "list_member = \"top-1m.csv\"\nlist_name_column = 2\n"
                           "list_min_rows = 3\nlist_title = \"the Top list\"\n"
                           "sort = \"number\"\norder = \"ascending\"\n");
        CMetricTable::Reload();
        ASSERT_TRUE(CMetricTable::Find("Top"));
        m_nTop = *CMetricTable::Find("Top");
    }
    void TearDown() override {
        for (const auto& [strName, old] : m_old) {
            if (old) {
                setenv(strName.c_str(), old->c_str(), 1);
            } else {
                unsetenv(strName.c_str());
            }
        }
        CMetricTable::Reload();
    }

    void Keep(const std::string& strName, const std::string& strValue) {
        const char* pszOld = std::getenv(strName.c_str());
        m_old.emplace_back(strName,
                           pszOld != nullptr ? std::optional<std::string>(pszOld) : std::nullopt);
        setenv(strName.c_str(), strValue.c_str(), 1);
    }

    void OfferList() {
        m_server.Offer("/top.zip",
                       {list_fixtures::Zip({{"top-1m.csv", list_fixtures::RankList(
                                                               {"google.com", "example.co.uk",
                                                                "bbc.co.uk", "example.com"})}}),
                        ""});
    }

    // Scans the rows once with only the list source ticked.
    void ScanOnce(CQueryManager& manager, const std::vector<std::string>& domains) {
        for (std::size_t i = 0; i < CMetricTable::Count(); ++i) {
            manager.SetMetricFlag(i, i == m_nTop);
        }
        for (const std::string& strDomain : domains) {
            manager.Store().AddDomain(strDomain);
        }
        manager.ScanEveryRowOnce();
    }

    TestFolder m_folder{"list-worker"};
    ListServer m_server;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_old;
    std::size_t m_nTop = 0;
};

TEST_F(ListWorkerTest, RowsAreAnsweredFromTheListWithoutAPause) {
    OfferList();
    CRecordStore store;
    ListLog log;
    CQueryManager manager(store, &log, CServiceHosts::AllOn(m_server.HostPort()));
    manager.SetInterval(1000);
    const auto tStart = std::chrono::steady_clock::now();
    ScanOnce(manager, {"www.example.co.uk", "news.bbc.co.uk", "unknown.org"});
    // Three rows at one second each would take three.
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(2));
    EXPECT_EQ(m_server.Count("/top.zip"), 1);
    const SCellState found = store.Find("www.example.co.uk")->GetCellState(m_nTop);
    EXPECT_EQ(found.outcome, EOutcome::Value);
    EXPECT_EQ(store.Find("www.example.co.uk")->GetMetric(m_nTop), "2");
    EXPECT_NE(found.strDetail.find("example.co.uk in the list of 2026-12-09"), std::string::npos)
        << found.strDetail;
    EXPECT_EQ(store.Find("news.bbc.co.uk")->GetMetric(m_nTop), "3");
    const SCellState missing = store.Find("unknown.org")->GetCellState(m_nTop);
    EXPECT_EQ(missing.outcome, EOutcome::None);
    EXPECT_NE(missing.strDetail.find("not in the list"), std::string::npos);
    const auto titles = log.Titles();
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles.front(), "the Top list");
    EXPECT_EQ(log.Stages().front(), SListProgress::EStage::Downloading);
    EXPECT_EQ(log.Stages().back(), SListProgress::EStage::Indexing);
    // A second scan finds the list fresh in the cache.
    CRecordStore again;
    CQueryManager second(again, nullptr, CServiceHosts::AllOn(m_server.HostPort()));
    ScanOnce(second, {"example.com"});
    EXPECT_EQ(again.Find("example.com")->GetMetric(m_nTop), "4");
    EXPECT_EQ(m_server.Count("/top.zip"), 1);
}

TEST_F(ListWorkerTest, AFailedDownloadFailsTheCellsOnceAskedForThePass) {
    m_server.Offer("/top.zip", {"", "", 503});
    CRecordStore store;
    CQueryManager manager(store, nullptr, CServiceHosts::AllOn(m_server.HostPort()));
    ScanOnce(manager, {"a.com", "b.com", "c.com"});
    EXPECT_EQ(m_server.Count("/top.zip"), 1);
    for (const char* pszDomain : {"a.com", "b.com", "c.com"}) {
        const SCellState state = store.Find(pszDomain)->GetCellState(m_nTop);
        EXPECT_EQ(state.outcome, EOutcome::Failed) << pszDomain;
        EXPECT_EQ(state.reason, EFailReason::HttpStatus) << pszDomain;
        EXPECT_EQ(state.nHttpStatus, 503);
        EXPECT_NE(state.strDetail.find("the list's download failed"), std::string::npos)
            << state.strDetail;
    }
}

TEST_F(ListWorkerTest, OfflineUsesTheCacheOnly) {
    OfferList();
    CRecordStore store;
    CQueryManager manager(store, nullptr, CServiceHosts::AllOn(m_server.HostPort()));
    manager.SetListsOffline(true);
    ScanOnce(manager, {"example.com"});
    EXPECT_EQ(m_server.Count("/top.zip"), 0);
    const SCellState state = store.Find("example.com")->GetCellState(m_nTop);
    EXPECT_EQ(state.outcome, EOutcome::Failed);
    EXPECT_NE(state.strDetail.find("not in the cache"), std::string::npos) << state.strDetail;
}

TEST_F(ListWorkerTest, StopEndsADownloadInFlight) {
    m_server.Offer(
        "/top.zip",
        {list_fixtures::Zip({{"top-1m.csv", list_fixtures::RankList({"a.com"})}}), "", 200, 1500});
    CRecordStore store;
    CQueryManager manager(store, nullptr, CServiceHosts::AllOn(m_server.HostPort()));
    for (std::size_t i = 0; i < CMetricTable::Count(); ++i) {
        manager.SetMetricFlag(i, i == m_nTop);
    }
    const auto tStart = std::chrono::steady_clock::now();
    manager.AddDomain("a.com");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    manager.Stop();
    ASSERT_TRUE(WaitForWorkerEnd(manager, std::chrono::seconds(5)));
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::milliseconds(1200));
    EXPECT_EQ(store.Find("a.com")->GetCellState(m_nTop).reason, EFailReason::Cancelled);
}

} // namespace
