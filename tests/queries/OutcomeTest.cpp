#include "queries/CMetricQuery.h"
#include "tests/support/HostileServer.h"
#include "tests/support/Metrics.h"
#include "tests/support/RefusingPort.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Short limits, so that every behaviour shows within a second or three, in
// a sanitizer's build too.
constexpr STransferLimits kShortLimits = {300, 1024, 500, 2500, 1u << 20};

struct OutcomeCase {
    const char* pszDomain;
    std::size_t nMetric;
    EOutcome outcome;
    EFailReason reason;
    int nHttpStatus;
    const char* pszDetail; // a part of the detail; "" when anything goes
};

std::ostream& operator<<(std::ostream& out, const OutcomeCase& test) {
    return out << test.pszDomain << " for " << CMetricTable::At(test.nMetric).strId;
}

class OutcomeTest : public testing::TestWithParam<OutcomeCase> {
protected:
    static void SetUpTestSuite() { s_pServer = new HostileServer(100ms); }
    static void TearDownTestSuite() {
        delete s_pServer;
        s_pServer = nullptr;
    }

    static HostileServer* s_pServer;
};

HostileServer* OutcomeTest::s_pServer = nullptr;

// Each behaviour through the real web client and query path, with the
// table's own rules.
TEST_P(OutcomeTest, TheServersBehaviourGivesItsOutcome) {
    const OutcomeCase& test = GetParam();
    CMetricQuery query(CServiceHosts::AllOn(s_pServer->Host()));
    query.SetLimits(kShortLimits);
    const SQueryResult result = query.Query(CMetricTable::At(test.nMetric).query, test.pszDomain);
    EXPECT_EQ(result.state.outcome, test.outcome);
    EXPECT_EQ(ReasonName(result.state.reason), ReasonName(test.reason));
    EXPECT_EQ(result.state.nHttpStatus, test.nHttpStatus);
    EXPECT_EQ(result.strValue, "") << "a failure's value stays the empty text";
    EXPECT_NE(result.state.strDetail.find(test.pszDetail), std::string::npos)
        << result.state.strDetail;
}

using enum EOutcome;
using R = EFailReason;

INSTANTIATE_TEST_SUITE_P(
    Behaviours, OutcomeTest,
    testing::Values(
        // Each service's own "nothing found".
        OutcomeCase{"nothing.example", Metric::PR, None, R::None, 200, ""},
        OutcomeCase{"nothing.example", Metric::Alexa, None, R::None, 200, ""},
        OutcomeCase{"nothing.example", Metric::GSite, None, R::None, 200, ""},
        OutcomeCase{"nothing.example", Metric::BSearch2, None, R::None, 200, ""},
        OutcomeCase{"nothingutf.example", Metric::BSite, None, R::None, 200, ""},
        // Transfers that never come through.
        OutcomeCase{"silent.example", Metric::GSite, Failed, R::Timeout, 0, ""},
        OutcomeCase{"trickle.example", Metric::GSite, Failed, R::TooSlow, 200, ""},
        OutcomeCase{"dripping.example", Metric::BSite, Failed, R::TooSlow, 200, ""},
        OutcomeCase{"endless.example", Metric::Alexa, Failed, R::TooLarge, 200, ""},
        OutcomeCase{"loop.example", Metric::GLink, Failed, R::Redirects, 302, "redirects"},
        // Answers that say no.
        OutcomeCase{"missing.example", Metric::BLink, Failed, R::HttpStatus, 404,
                    "/s?wd=...&timestamp=..."},
        OutcomeCase{"ratelimit.example", Metric::GSite, Failed, R::Blocked, 429, ""},
        OutcomeCase{"sorry.example", Metric::GSearch1, Failed, R::Blocked, 302, "/sorry/"},
        OutcomeCase{"consent.example", Metric::GSite, Failed, R::Blocked, 302,
                    "consent.google.com"},
        OutcomeCase{"wappass.example", Metric::BSite, Failed, R::Blocked, 302, "wappass.baidu.com"},
        OutcomeCase{"unusual.example", Metric::GSearch2, Failed, R::Blocked, 200, ""},
        OutcomeCase{"security.example", Metric::BSearch1, Failed, R::Blocked, 200, ""},
        OutcomeCase{"changed.example", Metric::GSite, Failed, R::NoMatch, 200,
                    "/search?q=...&timestamp=..."},
        OutcomeCase{"changed.example", Metric::PR, Failed, R::NoMatch, 200, ""}),
    [](const testing::TestParamInfo<OutcomeCase>& info) {
        return std::string(info.param.pszDomain)
                   .substr(0, std::string(info.param.pszDomain).find('.')) +
               "_" + CMetricTable::At(info.param.nMetric).strId;
    });

TEST(OutcomeFailureTest, ARefusedConnectionIsConnect) {
    RefusingPort port;
    CMetricQuery query(CServiceHosts::AllOn(port.Host()));
    const SQueryResult result = query.Query(CMetricTable::At(Metric::BSite).query, "a.example");
    EXPECT_EQ(result.state.outcome, EOutcome::Failed);
    EXPECT_EQ(result.state.reason, EFailReason::Connect);
    EXPECT_EQ(result.state.nHttpStatus, 0);
    EXPECT_FALSE(result.state.strDetail.empty());
}

// The reserved top-level name .invalid never resolves, so no request leaves
// the machine.
TEST(OutcomeFailureTest, AnUnresolvableHostIsDns) {
    SQueryRule rule = CMetricTable::At(Metric::Alexa).query;
    rule.strUrl = "http://tallyvine-test.invalid/data?url={domain}";
    CMetricQuery query;
    const SQueryResult result = query.Query(rule, "a.example");
    EXPECT_EQ(result.state.reason, EFailReason::Dns);
    EXPECT_NE(result.state.strDetail.find("tallyvine-test.invalid"), std::string::npos)
        << result.state.strDetail;
}

TEST(OutcomeFailureTest, CancellingEndsATransferAsCancelled) {
    HostileServer server;
    std::atomic<bool> bCancel{false};
    CMetricQuery query(CServiceHosts::AllOn(server.Host()), &bCancel);
    std::thread canceller([&] {
        std::this_thread::sleep_for(200ms);
        bCancel = true;
    });
    const SQueryResult result =
        query.Query(CMetricTable::At(Metric::GSite).query, "silent.example");
    canceller.join();
    EXPECT_EQ(result.state.reason, EFailReason::Cancelled);
}

TEST(OutcomeFailureTest, AValueIsAValueWhateverTheDetail) {
    HostileServer server;
    SQueryRule rule = CMetricTable::At(Metric::GSite).query;
    rule.strPattern = "(Not Found)"; // the 404 page of the server
    CMetricQuery query(CServiceHosts::AllOn(server.Host()));
    const SQueryResult result = query.Query(rule, "other.example");
    EXPECT_EQ(result.state.outcome, EOutcome::Value);
    EXPECT_EQ(result.strValue, "Not Found");
    EXPECT_EQ(result.state.nHttpStatus, 404);
}

// A key set for the test, and one outside the program's prefix.
class KeyedSourceTest : public testing::Test {
protected:
    static constexpr const char* kKey = "s3cret-key";
    void SetUp() override {
        setenv("TALLYVINE_TEST_KEY", kKey, 1);
        setenv("OTHER_TEST_SECRET", "0ther-secret", 1);
    }
    void TearDown() override {
        unsetenv("TALLYVINE_TEST_KEY");
        unsetenv("OTHER_TEST_SECRET");
    }

    SQueryResult Ask(const std::string& strUrl, const std::string& strDomain) {
        SQueryRule rule = CMetricTable::At(Metric::GSite).query;
        rule.strUrl = strUrl;
        CMetricQuery query;
        query.SetLimits(kShortLimits);
        return query.Query(rule, strDomain);
    }

    HostileServer m_server{100ms};
};

// Whatever the failure, its detail names the address without the key:
// the query string, the userinfo and a key in the path are hidden.
TEST_F(KeyedSourceTest, AFailuresDetailNeverHoldsTheKey) {
    const std::string strHost = m_server.Host();
    const struct {
        std::string strUrl;
        const char* pszDomain;
        EFailReason reason;
        std::string strDetail; // a part of the detail
    } rows[] = {
        {"http://" + strHost + "/s/{domain}?key={env:TALLYVINE_TEST_KEY}&q={domain}",
         "missing.example", EFailReason::HttpStatus,
         "http://" + strHost + "/s/missing.example?key=...&q=..."},
        {"http://u:{env:TALLYVINE_TEST_KEY}@" + strHost + "/s/{domain}", "changed.example",
         EFailReason::NoMatch, strHost + "/s/changed.example"},
        {"http://" + strHost + "/{env:TALLYVINE_TEST_KEY}/{domain}", "ratelimit.example",
         EFailReason::Blocked, "http://" + strHost + "/.../ratelimit.example"},
        {"http://u:{env:TALLYVINE_TEST_KEY}@tallyvine-test.invalid/?k={env:TALLYVINE_TEST_KEY}",
         "a.example", EFailReason::Dns, "tallyvine-test.invalid"},
    };
    for (const auto& row : rows) {
        const SQueryResult result = Ask(row.strUrl, row.pszDomain);
        EXPECT_EQ(result.state.reason, row.reason) << row.strUrl;
        EXPECT_NE(result.state.strDetail.find(row.strDetail), std::string::npos)
            << result.state.strDetail;
        EXPECT_EQ(result.state.strDetail.find(kKey), std::string::npos) << result.state.strDetail;
    }
}

TEST_F(KeyedSourceTest, OnlyTheProgramsOwnVariablesAreRead) {
    const std::string strUrl =
        "http://" + m_server.Host() + "/{env:OTHER_TEST_SECRET}/{env:TALLYVINE_TEST_KEY}/{domain}";
    SQueryRule rule;
    rule.strUrl = strUrl;
    CMetricQuery query;
    EXPECT_EQ(query.RequestUrl(rule, "a.example", "t"),
              "http://" + m_server.Host() + "//s3cret-key/a.example");
    rule.arrHeaders = {"K: {env:TALLYVINE_TEST_KEY}{env:OTHER_TEST_SECRET}"};
    rule.strChecksumText = "{env:TALLYVINE_TEST_KEY}";
    EXPECT_EQ(CMetricQuery::ReadVariables(rule),
              (std::vector<std::string>{"OTHER_TEST_SECRET", "TALLYVINE_TEST_KEY"}));
}

} // namespace
