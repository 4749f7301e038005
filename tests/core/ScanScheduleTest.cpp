#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "tests/core/MessageLog.h"
#include "tests/core/WorkerEnd.h"
#include "tests/support/Metrics.h"
#include "tests/support/ServiceTestBed.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <thread>

// When the worker waits, and what cuts a wait short: Stop, rate limits,
// added rows; and what a pass says of the whole list.
namespace {

using namespace std::chrono_literals;
using Service = ServiceTestBed::Service;
using Clock = std::chrono::steady_clock;

class ScanScheduleTest : public testing::Test {
protected:
    ServiceTestBed m_bed;
    MessageLog m_log;
    CRecordStore m_store;
    std::unique_ptr<CQueryManager> m_pManager;

    void SetUp() override { MakeManager(); }

    void MakeManager() {
        m_pManager = std::make_unique<CQueryManager>(m_store, &m_log, m_bed.Hosts());
        m_pManager->SetInterval(0);
    }

    void Tick(std::initializer_list<std::size_t> metrics) {
        for (std::size_t i = 0; i < CMetricTable::Count(); ++i) {
            m_pManager->SetMetricFlag(i, false);
        }
        for (std::size_t metric : metrics) {
            m_pManager->SetMetricFlag(metric, true);
        }
    }

    // Stops the worker and answers how long it took to end.
    Clock::duration StopAndTimeTheEnd() {
        const auto start = Clock::now();
        m_pManager->Stop();
        EXPECT_TRUE(WaitForWorkerEnd(*m_pManager, 10s));
        return Clock::now() - start;
    }

    std::size_t RequestsTo(Service service) const {
        std::size_t n = 0;
        for (const auto& request : m_bed.Requests()) {
            n += request.service == service ? 1 : 0;
        }
        return n;
    }
};

TEST_F(ScanScheduleTest, StopCutsARetryAfterWaitAndTheCellKeepsWhatItHad) {
    Tick({Metric::PR, Metric::GSite, Metric::BSearch1});
    m_bed.SetHandler(Service::Google, [](const auto&, auto& res) {
        res.status = 429;
        res.set_header("Retry-After", "50");
    });
    m_pManager->AddDomain("a.com");
    ASSERT_TRUE(m_bed.WaitForRequests(2, 5s)); // PR, then the 429 of GSite
    std::this_thread::sleep_for(100ms);
    EXPECT_LT(StopAndTimeTheEnd(), 1s);
    const CDomainRecord& record = *m_store.Find("a.com");
    EXPECT_EQ(record.GetCellState(Metric::GSite).outcome, EOutcome::NotAsked);
    EXPECT_EQ(RequestsTo(Service::Google), 1u) << "the repeat behind the wait is not asked";
    EXPECT_EQ(RequestsTo(Service::Baidu), 1u) << "the row's later queries are";
    EXPECT_EQ(m_log.Domains(WM_QUERY_END), std::vector<std::string>{"a.com"});
}

TEST_F(ScanScheduleTest, ALongListIsNotWalkedAgainWhileNothingWaits) {
    Tick({Metric::PR});
    for (int n = 0; n < 20000; ++n) {
        std::string strDomain = "row";
        strDomain += std::to_string(n);
        strDomain += ".com";
        m_store.AddDomain(strDomain)->SetPageRankText("3");
    }
    ASSERT_EQ(m_pManager->StartThread(), 0);
    // A walk at a millisecond a row would take twenty seconds to reach the
    // last name, and as long again for the first after its pass.
    std::this_thread::sleep_for(1200ms);
    m_pManager->AddDomain("zzz.com");
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_BEGIN, 1, 3s));
    m_pManager->AddDomain("0-first.com");
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_BEGIN, 2, 3s));
    EXPECT_EQ(m_log.Domains(WM_QUERY_BEGIN), (std::vector<std::string>{"zzz.com", "0-first.com"}));
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 2, 3s));
    EXPECT_EQ(m_bed.RequestCount(), 2u) << "no scanned row is asked again";
}

// The list as the window shows it after the second pass: a.com's Baidu cell
// failed in the first, b.com's Google and Baidu cells in the second.
TEST_F(ScanScheduleTest, APassSummaryCountsTheCellsOfTheWholeList) {
    Tick({Metric::PR, Metric::GSite, Metric::BSite});
    ServiceTestBed::DomainValues values;
    values.strPageRank = "5";
    values.strGoogleSite = "1,230";
    m_bed.SetDomain("a.com", values);
    m_bed.SetFault(Service::Baidu, ServiceTestBed::Fault::ErrorPage);
    m_pManager->AddDomain("a.com");
    ASSERT_TRUE(m_log.WaitForPasses(1));
    m_bed.SetHandler(Service::Google, [](const auto&, auto& res) { res.status = 429; });
    m_pManager->AddDomain("b.com");
    ASSERT_TRUE(m_log.WaitForPasses(2));
    const SPassSummary summary = m_log.Passes().back();
    EXPECT_EQ(summary.nRows, 1u);
    EXPECT_EQ(summary.FailedCells(), 2u) << "the pass's own";
    EXPECT_EQ(summary.ListFailedCells(), 3u);
    EXPECT_TRUE(summary.arrMetrics[Metric::GSite].AllFailed());
    EXPECT_FALSE(summary.arrList[Metric::GSite].AllFailed()) << "a.com's has a value";
    EXPECT_TRUE(summary.arrList[Metric::BSite].AllFailed());
    EXPECT_EQ(summary.arrList[Metric::BSite].nAsked, 2u);
    EXPECT_EQ(summary.arrList[Metric::GLink].nAsked, 0u);
    EXPECT_TRUE(summary.SuspensionText().empty());
}

// A service that goes on answering 429: the repeat after the first
// Retry-After does not cure it, so the source rests and every later row
// fails at once, while the other sources go on.
struct RateLimitCase {
    const char* pszName;
    const char* pszLaterRetryAfter; // empty: none
    int nSuspendedSeconds;
};

class RateLimitTest : public ScanScheduleTest, public testing::WithParamInterface<RateLimitCase> {};

TEST_P(RateLimitTest, ASourceAnswering429ForeverCostsOneWaitNotOnePerRow) {
    Tick({Metric::PR, Metric::GSite, Metric::BSite});
    auto pCount = std::make_shared<std::atomic<int>>(0);
    const std::string strLater = GetParam().pszLaterRetryAfter;
    m_bed.SetHandler(Service::Google, [pCount, strLater](const auto&, auto& res) {
        res.status = 429;
        if (pCount->fetch_add(1) == 0) {
            res.set_header("Retry-After", "1");
        } else if (!strLater.empty()) {
            res.set_header("Retry-After", strLater);
        }
    });
    const std::vector<std::string> rows = {"a.com", "b.com", "c.com", "d.com", "e.com"};
    ServiceTestBed::DomainValues values;
    values.strPageRank = "5";
    values.strBaiduSite = "456";
    for (const std::string& strDomain : rows) {
        m_bed.SetDomain(strDomain, values);
    }
    for (const std::string& strDomain : rows) {
        m_pManager->AddDomain(strDomain);
    }
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, rows.size(), 10s));
    EXPECT_EQ(RequestsTo(Service::Google), 2u);
    EXPECT_EQ(RequestsTo(Service::Baidu), rows.size());
    const std::time_t tNow = std::time(nullptr);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const CDomainRecord& record = *m_store.Find(rows[i]);
        const SCellState state = record.GetCellState(Metric::GSite);
        EXPECT_EQ(state.reason, EFailReason::Blocked) << rows[i];
        EXPECT_EQ(state.nHttpStatus, 0) << rows[i];
        EXPECT_EQ(state.strDetail.rfind("suspended until ", 0), 0u) << state.strDetail;
        EXPECT_EQ(record.GetCellState(Metric::BSite).outcome, EOutcome::Value) << rows[i];
    }
    ASSERT_TRUE(m_log.WaitForPasses(1));
    const SPassSummary summary = m_log.Passes().front();
    const std::int64_t nLeft = summary.arrSuspendedUntil[Metric::GSite] - tNow;
    EXPECT_GE(nLeft, GetParam().nSuspendedSeconds - 15);
    EXPECT_LE(nLeft, GetParam().nSuspendedSeconds);
    EXPECT_EQ(summary.arrSuspendedUntil[Metric::BSite], 0);
    EXPECT_EQ(summary.SuspensionText().rfind("GSite: suspended until ", 0), 0u)
        << summary.SuspensionText();
}

INSTANTIATE_TEST_SUITE_P(Answers, RateLimitTest,
                         testing::Values(RateLimitCase{"ItsRetryAfter", "120", 120},
                                         // Without one, the first back-off.
                                         RateLimitCase{"BackOff", "", 60},
                                         // A value too large for any integer is the longest rest.
                                         RateLimitCase{"Huge", "4294967298", 3600},
                                         RateLimitCase{"Huger", "99999999999999999999999", 3600}),
                         [](const testing::TestParamInfo<RateLimitCase>& info) {
                             return info.param.pszName;
                         });

TEST_F(ScanScheduleTest, A429ThatTheRepeatCuresSuspendsNothing) {
    Tick({Metric::PR, Metric::GSite});
    auto pCount = std::make_shared<std::atomic<int>>(0);
    m_bed.SetHandler(Service::Google, [pCount](const auto&, auto& res) {
        if (pCount->fetch_add(1) == 0) {
            res.status = 429;
            res.set_header("Retry-After", "1");
        } else {
            res.status = 404;
        }
    });
    m_pManager->AddDomain("a.com");
    m_pManager->AddDomain("b.com");
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 2, 10s));
    EXPECT_EQ(RequestsTo(Service::Google), 3u);
    EXPECT_EQ(m_store.Find("b.com")->GetCellState(Metric::GSite).nHttpStatus, 404);
}

// A source of the user's that may be asked once an hour.
class HourlySourceTest : public ScanScheduleTest {
protected:
    TestFolder m_folder{"hourly"};
    std::string m_strOld;
    bool m_bHadOld = false;

    void SetUp() override {
        const char* pszOld = std::getenv("XDG_CONFIG_HOME");
        m_bHadOld = pszOld != nullptr;
        m_strOld = m_bHadOld ? pszOld : "";
        setenv("XDG_CONFIG_HOME", m_folder.PathOf("config").c_str(), 1);
        std::filesystem::create_directories(m_folder.PathOf("config/tallyvine/sources"));
        m_folder.Write("config/tallyvine/sources/hourly.toml",
                       "id = \"Hourly\"\nlabel = \"Hourly: once an hour\"\n"
                       "url = \"http://hourly.test/hourly/{domain}\"\n"
                       "pattern = '\"rank\":\\s*([0-9]+)'\ninterval_ms = 3600000\n");
        CMetricTable::Reload();
        ASSERT_EQ(CMetricTable::At(Metric::Count).strId, "Hourly");
        m_bed.SetHandler(Service::Unknown, [](const auto&, auto& res) {
            res.set_content("{\"rank\": 7}", "text/json");
        });
        MakeManager();
    }
    void TearDown() override {
        m_pManager.reset();
        if (m_bHadOld) {
            setenv("XDG_CONFIG_HOME", m_strOld.c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        CMetricTable::Reload();
    }
};

TEST_F(HourlySourceTest, StopDuringAnHourLongIntervalEndsWithinASecond) {
    Tick({Metric::PR, Metric::BSite, Metric::Count});
    m_pManager->AddDomain("a.com");
    m_pManager->AddDomain("b.com");
    // a.com: PR, BSite, Hourly; b.com: PR, BSite, then an hour's wait.
    ASSERT_TRUE(m_bed.WaitForRequests(5, 5s));
    std::this_thread::sleep_for(100ms);
    EXPECT_LT(StopAndTimeTheEnd(), 1s);
    EXPECT_EQ(m_store.Find("a.com")->GetMetric(Metric::Count), "7");
    const CDomainRecord& record = *m_store.Find("b.com");
    EXPECT_EQ(record.GetCellState(Metric::Count).outcome, EOutcome::NotAsked);
    EXPECT_TRUE(record.IsScanned());
    EXPECT_NE(record.GetCellState(Metric::BSite).outcome, EOutcome::NotAsked);
    EXPECT_EQ(m_log.Domains(WM_QUERY_END), (std::vector<std::string>{"a.com", "b.com"}));
    EXPECT_EQ(m_bed.RequestCount(), 5u);
}

TEST_F(HourlySourceTest, ClosingDuringAnHourLongIntervalEndsWithinASecond) {
    Tick({Metric::PR, Metric::Count});
    m_pManager->AddDomain("a.com");
    m_pManager->AddDomain("b.com");
    ASSERT_TRUE(m_bed.WaitForRequests(3, 5s));
    std::this_thread::sleep_for(100ms);
    const auto start = Clock::now();
    m_pManager.reset();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(m_store.GetCount(), 0u);
}

} // namespace
