#include "queries/CMetricQuery.h"
#include "tests/support/Metrics.h"

#include "tests/support/ServiceTestBed.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Service = ServiceTestBed::Service;
using Fault = ServiceTestBed::Fault;
using Layout = ServiceTestBed::GoogleLayout;
using Values = ServiceTestBed::DomainValues;
using Operation = std::size_t;

// Every query with the service it asks and the value it reads.
struct Query {
    const char* pszName;
    Operation operation;
    Service service;
    std::string Values::*pValue;
};

const Query kQueries[] = {
    {"PR", Metric::PR, Service::PageRank, &Values::strPageRank},
    {"Alexa", Metric::Alexa, Service::Alexa, &Values::strAlexa},
    {"GSite", Metric::GSite, Service::Google, &Values::strGoogleSite},
    {"GLink", Metric::GLink, Service::Google, &Values::strGoogleLink},
    {"GSearch1", Metric::GSearch1, Service::Google, &Values::strGoogleSearch1},
    {"GSearch2", Metric::GSearch2, Service::Google, &Values::strGoogleSearch2},
    {"BSite", Metric::BSite, Service::Baidu, &Values::strBaiduSite},
    {"BLink", Metric::BLink, Service::Baidu, &Values::strBaiduLink},
    {"BSearch1", Metric::BSearch1, Service::Baidu, &Values::strBaiduSearch1},
    {"BSearch2", Metric::BSearch2, Service::Baidu, &Values::strBaiduSearch2},
};

Values Counts(Layout layout) {
    return {"7",         "12345", "1,230,000", "4,560", "98,700,000", "99,100,000",
            "2,340,000", "321",   "45,600",    "46",    layout};
}

class ServiceQueriesTest : public ::testing::Test {
protected:
    ServiceTestBed m_bed;
    CMetricQuery m_query{m_bed.Hosts()};

    void SetUp() override {
        m_bed.SetDomain("example.com", Counts(Layout::Stats));
        m_bed.SetDomain("bar.example", Counts(Layout::Bar));
        m_bed.SetDomain("zh.example", Counts(Layout::ChineseBar));
        m_bed.SetDomain("nothing.example", Values{});
    }

    std::string Ask(const Query& query, const std::string& strDomain) {
        return ::Ask(m_query, query.operation, strDomain);
    }
};

TEST_F(ServiceQueriesTest, EveryQueryReadsItsValueInEveryLayout) {
    for (const char* pszDomain : {"example.com", "bar.example", "zh.example"}) {
        const Values expected = Counts(Layout::Stats);
        for (const auto& query : kQueries) {
            EXPECT_EQ(Ask(query, pszDomain), expected.*query.pValue)
                << query.pszName << " of " << pszDomain;
        }
    }
}

TEST_F(ServiceQueriesTest, ADomainTheServicesDoNotKnowHasNoValue) {
    for (const auto& query : kQueries) {
        EXPECT_EQ(Ask(query, "nothing.example"), "") << query.pszName;
    }
}

TEST_F(ServiceQueriesTest, ValuesAreTheTextsThePagesShow) {
    Values values = Counts(Layout::Bar);
    values.strGoogleSite = "1";
    values.strGoogleLink = "0";
    values.strBaiduSite = "1,000,000,000,000";
    values.strAlexa = "1,234"; // not a rank: the digits of another element are not taken
    m_bed.SetDomain("odd.example", values);
    values.strAlexa = "";
    for (const auto& query : kQueries) {
        EXPECT_EQ(Ask(query, "odd.example"), values.*query.pValue) << query.pszName;
    }
}

TEST_F(ServiceQueriesTest, FaultsOfAServiceEmptyItsQueriesOnly) {
    for (Fault fault : {Fault::ErrorPage, Fault::EmptyBody}) {
        for (Service service :
             {Service::PageRank, Service::Alexa, Service::Google, Service::Baidu}) {
            m_bed.SetFault(service, fault);
            const Values expected = Counts(Layout::Stats);
            for (const auto& query : kQueries) {
                const std::string strExpected =
                    query.service == service ? std::string() : expected.*query.pValue;
                EXPECT_EQ(Ask(query, "example.com"), strExpected)
                    << query.pszName << ", fault " << static_cast<int>(fault) << " of service "
                    << static_cast<int>(service);
            }
            m_bed.SetFault(service, Fault::None);
        }
    }
}

TEST_F(ServiceQueriesTest, Utf8PagesLoseTheBaiduCountButNotGooglesBlankAlternative) {
    m_bed.SetFault(Service::Baidu, Fault::Utf8Page);
    m_bed.SetFault(Service::Google, Fault::Utf8Page);
    const Values expected = Counts(Layout::Stats);
    for (const auto& query : kQueries) {
        EXPECT_EQ(Ask(query, "zh.example"),
                  query.service == Service::Baidu ? std::string() : expected.*query.pValue)
            << query.pszName;
    }
}

TEST_F(ServiceQueriesTest, ASlowAnswerIsAwaited) {
    m_bed.SetDelay(Service::Baidu, 300ms);
    EXPECT_EQ(::Ask(m_query, Metric::BLink, "example.com"), "321");
}

TEST_F(ServiceQueriesTest, ASilentServiceGivesNoValueOnceTheScanIsCancelled) {
    std::atomic<bool> bCancel{false};
    CMetricQuery query(m_bed.Hosts(), &bCancel);
    m_bed.SetSilent(Service::Google, true);
    std::thread canceller([&] {
        if (m_bed.WaitForRequests(1, 5s)) {
            bCancel = true;
        }
    });
    EXPECT_EQ(::Ask(query, Metric::GSearch2, "example.com"), "");
    canceller.join();
    m_bed.SetSilent(Service::Google, false);
}

} // namespace
