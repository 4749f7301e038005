#include "core/CQueryManager.h"
#include "core/CSourceFile.h"
#include "tests/support/Metrics.h"

#include "MessageLog.h"
#include "tests/core/WorkerEnd.h"
#include "tests/support/ServiceTestBed.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Service = ServiceTestBed::Service;
using Clock = std::chrono::steady_clock;

// Built by appending: GCC 12 warns wrongly on chained + with to_string.
std::string NumberedDomain(const char* szStem, int n) {
    std::string strDomain(szStem);
    strDomain += std::to_string(n);
    strDomain += ".com";
    return strDomain;
}

class QueryWorkerTest : public testing::Test {
protected:
    ServiceTestBed m_bed;
    MessageLog m_log;
    CRecordStore m_store;
    std::unique_ptr<CQueryManager> m_pManager =
        std::make_unique<CQueryManager>(m_store, &m_log, m_bed.Hosts());

    void SetUp() override { m_pManager->SetInterval(0); }

    // Ticks exactly the given metrics.
    void Tick(std::initializer_list<std::size_t> metrics) {
        for (int i = 0; i < int(Metric::Count); ++i) {
            m_pManager->SetMetricFlag(static_cast<std::size_t>(i), false);
        }
        for (std::size_t metric : metrics) {
            m_pManager->SetMetricFlag(metric, true);
        }
    }

    bool WaitUntilEnded(std::chrono::milliseconds timeout = 5s) {
        return WaitForWorkerEnd(*m_pManager, timeout);
    }

    std::vector<std::string> PageRankDomains() const {
        std::vector<std::string> domains;
        for (const auto& request : m_bed.Requests()) {
            if (request.service == Service::PageRank) {
                const std::string strKey = "&q=info:";
                const auto nAt = request.strTarget.find(strKey) + strKey.size();
                const auto nEnd = request.strTarget.find("&timestamp=");
                domains.push_back(request.strTarget.substr(nAt, nEnd - nAt));
            }
        }
        return domains;
    }
};

TEST_F(QueryWorkerTest, ScansARowAndStoresThePageRank) {
    Tick({Metric::PR});
    m_bed.SetPageRank("example.com", "7");
    m_pManager->AddDomain("example.com");
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 1));
    const CDomainRecord* pRecord = m_pManager->Store().Find("example.com");
    EXPECT_EQ(pRecord->GetMetric(Metric::PR), "7");
    EXPECT_EQ(pRecord->GetPageRank(), 7);
    EXPECT_EQ(m_log.Domains(WM_QUERY_BEGIN), std::vector<std::string>{"example.com"});
}

TEST_F(QueryWorkerTest, FailedPageRankCountsAsScannedAndIsNotRetried) {
    Tick({Metric::PR});
    m_bed.SetHandler(Service::PageRank, [](const auto&, auto& res) { res.status = 503; });
    m_pManager->AddDomain("example.com");
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 1));
    EXPECT_EQ(m_pManager->Store().Find("example.com")->GetPageRank(), 0);
    // A pass takes about a second; the row must not be asked for again.
    std::this_thread::sleep_for(1300ms);
    EXPECT_EQ(m_bed.RequestCount(), 1u);
}

TEST_F(QueryWorkerTest, WaitingRowsAreScannedInIndexOrderAndNewRowsInTheSamePassWhenAhead) {
    Tick({Metric::PR});
    m_bed.SetDelay(Service::PageRank, 300ms);
    m_pManager->AddDomain("m.com");
    ASSERT_TRUE(m_bed.WaitForRequests(1, 5s));
    // While m.com is being scanned: d.com sorts before the worker, x.com and
    // p.com after it.
    m_pManager->AddDomain("x.com");
    m_pManager->AddDomain("d.com");
    m_pManager->AddDomain("p.com");
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 4));
    EXPECT_EQ(PageRankDomains(),
              (std::vector<std::string>{"m%2Ecom", "p%2Ecom", "x%2Ecom", "d%2Ecom"}));
    EXPECT_EQ(m_log.Domains(WM_QUERY_END),
              (std::vector<std::string>{"m.com", "p.com", "x.com", "d.com"}));
}

// Many more rows than the worker's first, all sharing their first sixteen
// bytes with it, arrive while it is held on that row: the walk goes on from
// the held row to those after it, and takes the ones before it next pass.
TEST_F(QueryWorkerTest, AWalkGoesOnFromItsRowWhileManyRowsArrive) {
    constexpr const char* kStem = "www.a-shared-stem-";
    Tick({Metric::PR});
    m_bed.SetSilent(Service::PageRank, true);
    const std::string strHeld = NumberedDomain(kStem, 200);
    m_pManager->AddDomain(strHeld);
    ASSERT_TRUE(m_bed.WaitForRequests(1, 5s));
    std::vector<int> numbers(400);
    std::iota(numbers.begin(), numbers.end(), 0);
    std::shuffle(numbers.begin(), numbers.end(), std::mt19937(1));
    std::vector<std::string> ahead;
    std::vector<std::string> behind;
    for (int n : numbers) {
        const std::string strDomain = NumberedDomain(kStem, n);
        if (m_pManager->AddDomain(strDomain)) {
            (strDomain > strHeld ? ahead : behind).push_back(strDomain);
        }
    }
    m_bed.SetSilent(Service::PageRank, false);
    std::sort(ahead.begin(), ahead.end());
    std::sort(behind.begin(), behind.end());
    std::vector<std::string> expected{strHeld};
    expected.insert(expected.end(), ahead.begin(), ahead.end());
    expected.insert(expected.end(), behind.begin(), behind.end());
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, expected.size(), 60s));
    EXPECT_EQ(m_log.Domains(WM_QUERY_END), expected);
}

TEST_F(QueryWorkerTest, StopCompletesTheCurrentRowAndBeginsNoOther) {
    Tick({Metric::PR});
    m_bed.SetDelay(Service::PageRank, 300ms);
    m_pManager->AddDomain("a.com");
    m_pManager->AddDomain("b.com");
    ASSERT_TRUE(m_bed.WaitForRequests(1, 5s));
    m_pManager->Stop();
    ASSERT_TRUE(WaitUntilEnded());
    EXPECT_EQ(m_log.Domains(WM_QUERY_BEGIN), std::vector<std::string>{"a.com"});
    EXPECT_EQ(m_log.Domains(WM_QUERY_END), std::vector<std::string>{"a.com"});
    EXPECT_TRUE(m_pManager->Store().Find("a.com")->IsScanned());
    EXPECT_FALSE(m_pManager->Store().Find("b.com")->IsScanned());
}

TEST_F(QueryWorkerTest, RescanWhileRunningScansEveryRowAgainAndKeepsOtherTexts) {
    Tick({Metric::PR});
    m_pManager->AddDomain("a.com");
    m_pManager->AddDomain("b.com");
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 2));
    m_pManager->Store().Find("a.com")->SetMetric(Metric::Alexa, "42");
    m_bed.SetPageRank("a.com", "3");
    EXPECT_EQ(m_pManager->RescanAll(), 1);
    EXPECT_FALSE(m_pManager->Store().Find("a.com")->IsScanned());
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 4));
    EXPECT_EQ(m_pManager->Store().Find("a.com")->GetMetric(Metric::PR), "3");
    EXPECT_EQ(m_pManager->Store().Find("a.com")->GetMetric(Metric::Alexa), "42");
    EXPECT_EQ(m_log.Domains(WM_QUERY_END),
              (std::vector<std::string>{"a.com", "b.com", "a.com", "b.com"}));
}

TEST_F(QueryWorkerTest, IntervalPausesAfterEveryRowBeforeItsEndMessage) {
    Tick({Metric::PR});
    m_pManager->SetInterval(300);
    m_pManager->AddDomain("a.com");
    m_pManager->AddDomain("b.com");
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 2));
    const auto requests = m_bed.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_GE(requests[1].at - requests[0].at, 300ms);
    const auto entries = m_log.Entries();
    for (const auto& entry : entries) {
        if (entry.nMessage == WM_QUERY_END && entry.strDomain == "a.com") {
            EXPECT_GE(entry.at - requests[0].at, 300ms);
        }
    }
}

TEST_F(QueryWorkerTest, AnEmptyListPostsNothingUntilARowArrives) {
    m_pManager->RescanAll();
    std::this_thread::sleep_for(1200ms);
    EXPECT_TRUE(m_log.Entries().empty());
    EXPECT_EQ(m_pManager->IsThreadAlive(), 1);
    m_pManager->AddDomain("late.com");
    EXPECT_TRUE(m_log.WaitFor(WM_QUERY_END, 1));
}

TEST_F(QueryWorkerTest, DestructionCancelsAHangingRequestWithinASecond) {
    Tick({Metric::PR});
    m_bed.SetSilent(Service::PageRank, true);
    m_pManager->AddDomain("a.com");
    ASSERT_TRUE(m_bed.WaitForRequests(1, 5s));
    const auto start = Clock::now();
    m_pManager.reset();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_TRUE(m_log.Domains(WM_QUERY_END).empty());
}

TEST_F(QueryWorkerTest, ReadersNeverRaceTheWorkersWrites) {
    Tick({Metric::PR});
    for (int i = 0; i < 20; ++i) {
        m_pManager->AddDomain(NumberedDomain("d", i));
    }
    // The window's reads: texts, numbers and rescans while the worker writes.
    std::atomic<bool> bDone{false};
    std::thread reader([&] {
        while (!bDone) {
            m_pManager->Store().ForEachRecord([](CDomainRecord& record) {
                (void)record.GetMetric(Metric::PR);
                (void)record.GetPageRank();
                (void)record.IsScanned();
            });
        }
    });
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 20));
    m_pManager->RescanAll();
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 40));
    bDone = true;
    reader.join();
}

// Which metric's query sent a request, told from its path and query.
std::size_t MetricOf(const std::string& strTarget) {
    auto starts = [&](const char* prefix) { return strTarget.rfind(prefix, 0) == 0; };
    auto has = [&](const char* part) { return strTarget.find(part) != std::string::npos; };
    if (starts("/data/")) {
        return Metric::Alexa;
    }
    if (starts("/search?client=")) {
        return Metric::PR;
    }
    if (starts("/s?wd=site%3A")) {
        return Metric::BSite;
    }
    if (starts("/s?wd=Link%3A")) {
        return Metric::BLink;
    }
    if (starts("/s?wd=%22")) {
        return has("&cl=0") ? Metric::BSearch2 : Metric::BSearch1;
    }
    if (starts("/search?q=site%3A")) {
        return Metric::GSite;
    }
    if (starts("/search?q=link%3A")) {
        return Metric::GLink;
    }
    return has("&filter=0") ? Metric::GSearch2 : Metric::GSearch1;
}

std::vector<std::size_t> AskedMetrics(const ServiceTestBed& bed) {
    std::vector<std::size_t> metrics;
    for (const auto& request : bed.Requests()) {
        metrics.push_back(MetricOf(request.strTarget));
    }
    return metrics;
}

TEST_F(QueryWorkerTest, AsksTheTickedMetricsOnlyInTheFixedOrder) {
    using namespace Metric;
    Tick({PR, Alexa, GSite, GLink, GSearch1, GSearch2, BSite, BLink, BSearch1, BSearch2});
    m_pManager->AddDomain("all.com");
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 1));
    EXPECT_EQ(AskedMetrics(m_bed),
              (std::vector<std::size_t>{Alexa, PR, BSite, GLink, BLink, GSite, BSearch1, BSearch2,
                                        GSearch1, GSearch2}));

    m_bed.ClearRequests();
    Tick({PR, GSearch2, BLink});
    m_pManager->AddDomain("some.com");
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 2));
    EXPECT_EQ(AskedMetrics(m_bed), (std::vector<std::size_t>{PR, BLink, GSearch2}));
}

TEST_F(QueryWorkerTest, AFlagChangedDuringARowAppliesFromTheNextQuery) {
    using namespace Metric;
    Tick({PR, Alexa, BSite, GSearch2});
    m_bed.SetDelay(Service::PageRank, 300ms);
    m_pManager->AddDomain("a.com");
    ASSERT_TRUE(m_bed.WaitForRequests(2, 5s)); // Alexa answered, PR under way
    m_pManager->SetMetricFlag(BSite, false);
    m_pManager->SetMetricFlag(GLink, true);
    m_pManager->SetMetricFlag(Alexa, false); // already asked: the row keeps it
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 1));
    EXPECT_EQ(AskedMetrics(m_bed), (std::vector<std::size_t>{Alexa, PR, GLink, GSearch2}));
}

TEST_F(QueryWorkerTest, RescanningFailedCellsAsksOnlyThemAndKeepsEveryOtherValue) {
    Tick({Metric::PR, Metric::GSite, Metric::BSite});
    ServiceTestBed::DomainValues values;
    values.strPageRank = "6";
    values.strGoogleSite = "1,230";
    values.strBaiduSite = "456";
    m_bed.SetDomain("example.com", values);
    m_bed.SetHandler(Service::Google, [](const auto&, auto& res) { res.status = 429; });
    m_pManager->AddDomain("example.com");
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 1));
    CDomainRecord& record = *m_pManager->Store().Find("example.com");
    EXPECT_EQ(record.GetCellState(Metric::GSite).reason, EFailReason::Blocked);
    EXPECT_EQ(record.GetMetric(Metric::BSite), "456");

    // The pass's summary names the service whose every query failed.
    ASSERT_TRUE(m_log.WaitForPasses(1));
    const SPassSummary summary = m_log.Passes().front();
    EXPECT_EQ(summary.nRows, 1u);
    EXPECT_EQ(summary.FailedCells(), 1u);
    EXPECT_TRUE(summary.arrMetrics[Metric::GSite].AllFailed());
    EXPECT_FALSE(summary.arrMetrics[Metric::BSite].AllFailed());

    m_bed.SetHandler(Service::Google, nullptr);
    m_bed.ClearRequests();
    Tick({Metric::PR}); // the rescan asks failed cells whatever is ticked now
    EXPECT_EQ(m_pManager->RescanFailed(), 1u);
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 2));
    ASSERT_EQ(m_bed.RequestCount(), 1u);
    EXPECT_EQ(m_bed.Requests().front().service, Service::Google);
    EXPECT_EQ(record.GetMetric(Metric::GSite), "1,230");
    EXPECT_EQ(record.GetCellState(Metric::GSite).outcome, EOutcome::Value);
    EXPECT_EQ(record.GetMetric(Metric::PR), "6");
    EXPECT_EQ(record.GetMetric(Metric::BSite), "456");
    EXPECT_EQ(m_pManager->RescanFailed(), 0u) << "nothing failed any more";
}

// The sources that read JSON with jq run on the worker while the window's
// thread reads definition files, which compiles and frees jq programs.
TEST_F(QueryWorkerTest, JqSourcesRunOnTheWorkerWhileFilesAreRead) {
    using namespace Metric;
    Tick({PR, Tranco, Created, FirstSeen});
    m_bed.SetHandler(Service::Unknown, [](const httplib::Request& req, httplib::Response& res) {
        if (req.path == "/api/ranks/domain/example.co.uk") {
            res.set_content(R"({"ranks":[{"date":"2026-12-01","rank":31}]})", "application/json");
        } else if (req.path == "/domain/example.co.uk") {
            res.set_content(R"({"events":[{"eventAction":"registration",)"
                            R"("eventDate":"1996-08-01T00:00:00Z"}]})",
                            "application/json");
        } else if (req.path == "/cdx/search/cdx") {
            res.set_content(R"([["timestamp"],["19961031151623"]])", "application/json");
        } else {
            res.status = 404;
        }
    });
    m_pManager->AddDomain("www.example.co.uk");
    int nRead = 0;
    while (m_log.Domains(WM_QUERY_END).empty() && nRead < 200) {
        SMetric metric;
        std::string strError;
        EXPECT_TRUE(CSourceFile::Read("id = \"Mine\"\nlabel = \"M\"\nurl = \"http://x/{site}\"\n"
                                      "jq = '.a | tostring'\n",
                                      "mine.toml", {}, metric, strError))
            << strError;
        ++nRead;
    }
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 1));
    const CDomainRecord& record = *m_pManager->Store().Find("www.example.co.uk");
    EXPECT_EQ(record.GetMetric(Tranco), "31");
    EXPECT_EQ(record.GetMetric(Created), "1996-08-01");
    EXPECT_EQ(record.GetMetric(FirstSeen), "1996-10-31");
    EXPECT_EQ(record.GetCellState(FirstSeen).strDetail, "asked example.co.uk");
}

} // namespace
