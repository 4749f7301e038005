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
constexpr CMetricQuery::SLimits kShortLimits = {300, 1024, 500, 2500, 1u << 20};

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
    EXPECT_EQ(result.outcome, test.outcome);
    EXPECT_EQ(ReasonName(result.reason), ReasonName(test.reason));
    EXPECT_EQ(result.nHttpStatus, test.nHttpStatus);
    EXPECT_EQ(result.strValue, "") << "a failure's value stays the empty text";
    EXPECT_NE(result.strDetail.find(test.pszDetail), std::string::npos) << result.strDetail;
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
                    "missing.example"},
        OutcomeCase{"ratelimit.example", Metric::GSite, Failed, R::Blocked, 429, ""},
        OutcomeCase{"sorry.example", Metric::GSearch1, Failed, R::Blocked, 302, "/sorry/"},
        OutcomeCase{"consent.example", Metric::GSite, Failed, R::Blocked, 302,
                    "consent.google.com"},
        OutcomeCase{"wappass.example", Metric::BSite, Failed, R::Blocked, 302, "wappass.baidu.com"},
        OutcomeCase{"unusual.example", Metric::GSearch2, Failed, R::Blocked, 200, ""},
        OutcomeCase{"security.example", Metric::BSearch1, Failed, R::Blocked, 200, ""},
        OutcomeCase{"changed.example", Metric::GSite, Failed, R::NoMatch, 200, "changed.example"},
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
    EXPECT_EQ(result.outcome, EOutcome::Failed);
    EXPECT_EQ(result.reason, EFailReason::Connect);
    EXPECT_EQ(result.nHttpStatus, 0);
    EXPECT_FALSE(result.strDetail.empty());
}

// The reserved top-level name .invalid never resolves, so no request leaves
// the machine.
TEST(OutcomeFailureTest, AnUnresolvableHostIsDns) {
    SQueryRule rule = CMetricTable::At(Metric::Alexa).query;
    rule.strUrl = "http://tallyvine-test.invalid/data?url={domain}";
    CMetricQuery query;
    const SQueryResult result = query.Query(rule, "a.example");
    EXPECT_EQ(result.reason, EFailReason::Dns);
    EXPECT_NE(result.strDetail.find("tallyvine-test.invalid"), std::string::npos)
        << result.strDetail;
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
    EXPECT_EQ(result.reason, EFailReason::Cancelled);
}

TEST(OutcomeFailureTest, AValueIsAValueWhateverTheDetail) {
    HostileServer server;
    SQueryRule rule = CMetricTable::At(Metric::GSite).query;
    rule.strPattern = "(Not Found)"; // the 404 page of the server
    CMetricQuery query(CServiceHosts::AllOn(server.Host()));
    const SQueryResult result = query.Query(rule, "other.example");
    EXPECT_EQ(result.outcome, EOutcome::Value);
    EXPECT_EQ(result.strValue, "Not Found");
    EXPECT_EQ(result.nHttpStatus, 404);
}

} // namespace
