#include "queries/CJqProgram.h"
#include "queries/CMetricQuery.h"
#include "tests/support/Metrics.h"
#include "tests/support/ReplyServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The shapes the services answer with, trimmed to what matters.
const std::string kRdapReply = R"({"objectClassName":"domain","ldhName":"EXAMPLE.COM",
"events":[{"eventAction":"expiration","eventDate":"2027-08-13T04:00:00Z"},
{"eventAction":"last changed","eventDate":"2026-08-14T07:01:44Z"},
{"eventAction":"registration","eventDate":"1995-08-14T04:00:00Z"},
{"eventAction":"last update of RDAP database","eventDate":"2026-12-10T09:12:01Z"}]})";
const std::string kRdapNotFound = R"({"errorCode":404,"title":"Not Found"})";

struct FactCase {
    const char* pszName;
    std::size_t nMetric;
    const char* pszDomain;
    const char* pszPath; // the path the request must ask
    int nStatus;
    std::string strBody;
    EOutcome outcome;
    const char* pszValue;
    EFailReason reason;
};

class JqSourceTest : public testing::TestWithParam<FactCase> {
protected:
    ReplyServer m_server;
    CMetricQuery m_query{CServiceHosts::AllOn(m_server.Host())};
};

// The built-in sources that read JSON, over the replies their services give.
TEST_P(JqSourceTest, TheReplyGivesItsOutcome) {
    const FactCase& test = GetParam();
    m_server.Set(test.pszPath, {test.nStatus, test.strBody, {}, {}});
    const SQueryResult result = m_query.Query(CMetricTable::At(test.nMetric).query, test.pszDomain);
    EXPECT_EQ(OutcomeName(result.state.outcome), OutcomeName(test.outcome))
        << result.state.strDetail;
    EXPECT_EQ(result.strValue, test.pszValue);
    EXPECT_EQ(ReasonName(result.state.reason), ReasonName(test.reason));
    EXPECT_EQ(result.state.nHttpStatus, test.nStatus);
    ASSERT_EQ(m_server.Targets().size(), 1u);
    EXPECT_EQ(m_server.Targets().front().substr(0, m_server.Targets().front().find('?')),
              test.pszPath);
}

const std::string kNoEvent =
    R"({"events":[{"eventAction":"expiration","eventDate":"2027-01-01"}]})";
const std::string kRanks = R"({"domain":"example.co.uk","ranks":[{"date":"2026-12-01","rank":912},)"
                           R"({"date":"2026-12-02","rank":907}]})";

INSTANTIATE_TEST_SUITE_P(
    Replies, JqSourceTest,
    testing::Values(
        FactCase{"RegistrationNotTheFirstEvent", Metric::Created, "example.com",
                 "/domain/example.com", 200, kRdapReply, EOutcome::Value, "1995-08-14",
                 EFailReason::None},
        FactCase{"RegistrationOfTheSite", Metric::Created, "www.example.com", "/domain/example.com",
                 200, kRdapReply, EOutcome::Value, "1995-08-14", EFailReason::None},
        FactCase{"RdapNotFoundIsNone", Metric::Created, "unknown.example",
                 "/domain/unknown.example", 404, kRdapNotFound, EOutcome::None, "",
                 EFailReason::None},
        FactCase{"RdapOtherErrorFails", Metric::Created, "example.com", "/domain/example.com", 503,
                 kRdapNotFound, EOutcome::Failed, "", EFailReason::HttpStatus},
        FactCase{"RdapWithoutRegistration", Metric::Created, "example.com", "/domain/example.com",
                 200, kNoEvent, EOutcome::Failed, "", EFailReason::NoMatch},
        FactCase{"ArchiveCapture", Metric::FirstSeen, "example.com", "/cdx/search/cdx", 200,
                 R"([["timestamp"],["19970126045828"]])", EOutcome::Value, "1997-01-26",
                 EFailReason::None},
        FactCase{"ArchiveNeverCaptured", Metric::FirstSeen, "example.com", "/cdx/search/cdx", 200,
                 "[]", EOutcome::None, "", EFailReason::None},
        FactCase{"ArchiveHeaderOnly", Metric::FirstSeen, "example.com", "/cdx/search/cdx", 200,
                 R"([["timestamp"]])", EOutcome::None, "", EFailReason::None},
        FactCase{"ArchiveErrorPage", Metric::FirstSeen, "example.com", "/cdx/search/cdx", 200,
                 "<html>Service unavailable</html>", EOutcome::Failed, "", EFailReason::NoMatch},
        FactCase{"TrancoNewestRankOfTheSite", Metric::Tranco, "www.example.co.uk",
                 "/api/ranks/domain/example.co.uk", 200, kRanks, EOutcome::Value, "907",
                 EFailReason::None},
        FactCase{"TrancoNotRanked", Metric::Tranco, "example.org", "/api/ranks/domain/example.org",
                 200, R"({"domain":"example.org","ranks":[]})", EOutcome::None, "",
                 EFailReason::None}),
    [](const testing::TestParamInfo<FactCase>& info) { return info.param.pszName; });

TEST(JqSourceTest, TheArchiveIsAskedForTheSitesFirstCapture) {
    CMetricQuery query;
    EXPECT_EQ(query.RequestUrl(CMetricTable::At(Metric::FirstSeen).query, "www.example.co.uk", "t"),
              "https://web.archive.org/cdx/search/cdx?url=example.co.uk&fl=timestamp&limit=1"
              "&output=json");
}

// The row's name and the name asked differ: the detail says which was asked.
TEST(JqSourceTest, AnAnswerForTheSiteSaysWhichNameWasAsked) {
    ReplyServer server;
    server.Set("/api/ranks/domain/example.co.uk", {200, kRanks, {}, {}});
    server.Set("/api/ranks/domain/example.com", {200, R"({"ranks":[]})", {}, {}});
    server.Set("/api/ranks/domain/192.0.2.1", {200, kRanks, {}, {}});
    CMetricQuery query(CServiceHosts::AllOn(server.Host()));
    const SQueryRule& rule = CMetricTable::At(Metric::Tranco).query;
    const struct {
        const char* pszDomain;
        const char* pszDetail;
    } kCases[] = {
        {"www.example.co.uk", "asked example.co.uk"},
        {"shop.example.com", "asked example.com"},
        {"example.co.uk", ""},
        {"192.0.2.1", ""}, // no registrable domain: asked as written
    };
    for (const auto& test : kCases) {
        EXPECT_EQ(query.Query(rule, test.pszDomain).state.strDetail, test.pszDetail)
            << test.pszDomain;
    }
}

// rdap.org answers with a redirect to the registry's own server, on another
// host; the client follows it.
TEST(JqSourceTest, TheRedirectorLeadsToTheRegistry) {
    ReplyServer redirector;
    ReplyServer registry;
    registry.Set("/rdap/domain/example.com", {200, kRdapReply, {}, {}});
    redirector.Set("/domain/example.com",
                   {302, "", "http://" + registry.Host() + "/rdap/domain/example.com", {}});
    CMetricQuery query(CServiceHosts::AllOn(redirector.Host()));
    const SQueryResult result = query.Query(CMetricTable::At(Metric::Created).query, "example.com");
    EXPECT_EQ(result.state.outcome, EOutcome::Value) << result.state.strDetail;
    EXPECT_EQ(result.strValue, "1995-08-14");
    EXPECT_EQ(registry.Targets(), std::vector<std::string>{"/rdap/domain/example.com"});

    registry.Set("/rdap/domain/example.com", {404, kRdapNotFound, {}, {}});
    EXPECT_EQ(query.Query(CMetricTable::At(Metric::Created).query, "example.com").state.outcome,
              EOutcome::None)
        << "the registry's 404 is none";
}

// A source of one's own with a program that fails on the reply: the cell
// fails as no_match with jq's message as its detail.
TEST(JqSourceTest, AProgramThatFailsGivesNoMatchWithJqsMessage) {
    ReplyServer server;
    server.Set("/v", {200, R"({"a":{"b":1},"list":null})", {}, {}});
    CMetricQuery query(CServiceHosts::AllOn(server.Host()));
    const struct {
        const char* pszProgram;
        const char* pszDetail;
    } kCases[] = {
        {".list[]", "jq: Cannot iterate over null"},
        {".a", "jq: the jq program's output is object"},
        {".a | error(\"no rank here\")", "jq: no rank here"},
    };
    for (const auto& test : kCases) {
        SQueryRule rule;
        rule.strUrl = "http://x/v";
        rule.parser = EReplyParser::Jq;
        std::string strError;
        rule.pJq = CJqProgram::Compile(test.pszProgram, strError);
        ASSERT_NE(rule.pJq, nullptr) << strError;
        rule.bNoneWhenEmpty = true; // a failure is not the absence of a value
        const SQueryResult result = query.Query(rule, "example.com");
        EXPECT_EQ(result.state.outcome, EOutcome::Failed) << test.pszProgram;
        EXPECT_EQ(result.state.reason, EFailReason::NoMatch) << test.pszProgram;
        EXPECT_NE(result.state.strDetail.find(test.pszDetail), std::string::npos)
            << result.state.strDetail;
    }
}

// jq's message goes through the same hiding as an address: a key the request
// read never shows in the detail, even when the reply repeats it.
TEST(JqSourceTest, AProgramsMessageNeverHoldsTheKey) {
    static constexpr const char* kKey = "s3cret-jq-key";
    setenv("TALLYVINE_TEST_JQ_KEY", kKey, 1);
    ReplyServer server;
    server.Set(std::string("/k/") + kKey + "/v", {200, R"({"echo":"s3cret-jq-key"})", {}, {}});
    CMetricQuery query(CServiceHosts::AllOn(server.Host()));
    SQueryRule rule;
    rule.strUrl = "http://x/k/{env:TALLYVINE_TEST_JQ_KEY}/v";
    rule.parser = EReplyParser::Jq;
    std::string strError;
    rule.pJq = CJqProgram::Compile(R"(error("the key " + .echo + " is refused"))", strError);
    ASSERT_NE(rule.pJq, nullptr) << strError;
    const SQueryResult result = query.Query(rule, "example.com");
    unsetenv("TALLYVINE_TEST_JQ_KEY");
    EXPECT_EQ(result.state.outcome, EOutcome::Failed);
    EXPECT_EQ(result.state.reason, EFailReason::NoMatch);
    EXPECT_EQ(result.state.strDetail, "jq: the key ... is refused");
    ASSERT_EQ(server.Targets().size(), 1u);
}

// The reply reader serves a jq source as it serves a pattern.
TEST(JqSourceTest, ParseReplyRunsTheProgram) {
    SQueryRule rule;
    rule.parser = EReplyParser::Jq;
    std::string strError;
    rule.pJq = CJqProgram::Compile(".ranks | max_by(.date) | .rank", strError);
    ASSERT_NE(rule.pJq, nullptr) << strError;
    EXPECT_EQ(CMetricQuery::ParseReply(rule, kRanks), "907");
    EXPECT_EQ(CMetricQuery::ParseReply(rule, R"({"ranks":[]})"), "");
}

} // namespace
