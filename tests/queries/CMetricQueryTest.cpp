#include "queries/CMetricQuery.h"
#include "tests/support/Metrics.h"

#include "tests/support/RefusingPort.h"
#include "tests/support/ServiceTestBed.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Service = ServiceTestBed::Service;

const char kToken[] = "&timestamp=[0-9a-f]{32}";

class MetricQueryTest : public ::testing::Test {
protected:
    ServiceTestBed m_bed;
    CMetricQuery m_query{m_bed.Hosts()};

    // Every service answers with this status and body.
    void Reply(int nStatus, const std::string& strBody) {
        for (Service service :
             {Service::PageRank, Service::Alexa, Service::Google, Service::Baidu}) {
            m_bed.SetHandler(service, [=](const httplib::Request&, httplib::Response& res) {
                res.status = nStatus;
                res.set_content(strBody, "text/html");
            });
        }
    }

    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const auto& request : m_bed.Requests()) {
            targets.push_back(request.strTarget);
        }
        return targets;
    }
};

TEST_F(MetricQueryTest, PageRankRequestCarriesChecksumAndEncodedDomain) {
    Reply(200, "Rank_1:1:7\n");
    EXPECT_EQ(Ask(m_query, Metric::PR, "abc"), "7");
    EXPECT_EQ(Ask(m_query, Metric::PR, "a.b-c"), "7");

    const std::string strHead = "/search\\?client=navclient-auto&ch=6";
    const std::string strMiddle = "&ie=UTF-8&oe=UTF-8&features=Rank&q=info:";
    const auto targets = Targets();
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_TRUE(
        std::regex_match(targets[0], std::regex(strHead + "55950860" + strMiddle + "abc" + kToken)))
        << targets[0];
    // The checksum is taken over the text as given, the query value encoded.
    EXPECT_TRUE(std::regex_match(
        targets[1], std::regex(strHead + "2227404644" + strMiddle + "a%2Eb%2Dc" + kToken)))
        << targets[1];
}

struct ReplyCase {
    const char* pszName;
    int nStatus;
    std::string strReply;
    const char* pszResult;
};

TEST_F(MetricQueryTest, PageRankReadsOnlyRepliesThatStartWithRank) {
    const ReplyCase kCases[] = {
        {"value after the last colon", 200, "Rank_1:1:7\n", "7"},
        {"no colon: the whole reply", 200, "Rank\n7\n", "Rank7"},
        {"colon at the end", 200, "Rank_1:1:", ""},
        {"Rank further in", 200, "<html><body>Rank_1:1:7</body></html>", ""},
        {"lower case", 200, "rank_1:1:7", ""},
        {"empty body", 200, "", ""},
        {"error page", 404, "<html><body>Not Found</body></html>", ""},
        {"a NUL ends the text", 200, std::string("Rank_1:1:5\0:9", 13), "5"},
    };
    for (const auto& test : kCases) {
        Reply(test.nStatus, test.strReply);
        EXPECT_EQ(Ask(m_query, Metric::PR, "abc"), test.pszResult) << test.pszName;
    }
}

TEST(MetricQuery, UnreachableServiceGivesTheEmptyText) {
    const RefusingPort port;
    CMetricQuery query(CServiceHosts::AllOn(port.Host()));
    EXPECT_EQ(Ask(query, Metric::PR, "abc"), "");
    EXPECT_EQ(Ask(query, Metric::BSite, "abc"), "");
}

TEST(MetricQuery, CancelledQueryGivesTheEmptyText) {
    ServiceTestBed bed;
    const std::atomic<bool> bCancel{true};
    CMetricQuery query(bed.Hosts(), &bCancel);
    EXPECT_EQ(Ask(query, Metric::PR, "abc"), "");
}

TEST(MetricQuery, DestroyingAnUnusedQuerySetIsHarmless) {
    auto pQuery = std::make_unique<CMetricQuery>();
    pQuery.reset();
    SUCCEED();
}

using Operation = std::size_t;

// The path and query each operation sends for the domain a.b-c, up to its
// timestamp token.
struct RequestCase {
    const char* pszName;
    Operation operation;
    std::string strTarget;
    bool bToken;
};

const RequestCase kRequests[] = {
    {"Alexa", Metric::Alexa,
     "/data/+kR702tm5193bZ?cli=10&dat=snba&ver=7.0&cdt=alx_vw=20&wid=12206&act=00000000000"
     "&ss=1680x1050&bw=964&t=0&ttl=35371&vis=1&rq=4&url=a.b-c",
     false},
    {"GSite", Metric::GSite, "/search?q=site%3Aa.b-c", true},
    {"GLink", Metric::GLink, "/search?q=link%3Aa.b-c", true},
    {"GSearch1", Metric::GSearch1, "/search?q=a.b-c", true},
    {"GSearch2", Metric::GSearch2, "/search?q=a.b-c&filter=0", true},
    {"BSite", Metric::BSite, "/s?wd=site%3Aa.b-c", true},
    {"BLink", Metric::BLink, "/s?wd=Link%3Aa.b-c", true},
    {"BSearch1", Metric::BSearch1, "/s?wd=%22a.b-c%22", true},
    {"BSearch2", Metric::BSearch2, "/s?wd=%22a.b-c%22&cl=0", true},
};

TEST_F(MetricQueryTest, EveryQuerySendsItsRequestByteForByte) {
    const std::regex token("&timestamp=[0-9a-f]{32}");
    for (const auto& test : kRequests) {
        m_bed.ClearRequests();
        (void)Ask(m_query, test.operation, "a.b-c");
        const auto targets = Targets();
        ASSERT_EQ(targets.size(), 1u) << test.pszName;
        const std::string& strTarget = targets.front();
        EXPECT_EQ(strTarget.substr(0, test.strTarget.size()), test.strTarget) << test.pszName;
        const std::string strRest =
            strTarget.substr(std::min(strTarget.size(), test.strTarget.size()));
        if (test.bToken) {
            EXPECT_TRUE(std::regex_match(strRest, token)) << test.pszName << ": " << strTarget;
        } else {
            EXPECT_EQ(strRest, "") << test.pszName;
        }
    }
}

TEST_F(MetricQueryTest, RequestsAMillisecondApartCarryDifferentTokens) {
    for (const auto& test : kRequests) {
        if (!test.bToken) {
            continue;
        }
        m_bed.ClearRequests();
        (void)Ask(m_query, test.operation, "a.b-c");
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        (void)Ask(m_query, test.operation, "a.b-c");
        const auto targets = Targets();
        ASSERT_EQ(targets.size(), 2u) << test.pszName;
        EXPECT_NE(targets[0], targets[1]) << test.pszName;
    }
}

TEST_F(MetricQueryTest, DomainIsSentAsGivenExceptToTheToolbar) {
    // Only the PageRank query encodes its value; the others pass the text on.
    (void)Ask(m_query, Metric::GSite, "A.b-C");
    (void)Ask(m_query, Metric::Alexa, "A.b-C");
    const auto targets = Targets();
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_TRUE(targets[0].starts_with("/search?q=site%3AA.b-C&timestamp=")) << targets[0];
    EXPECT_TRUE(targets[1].ends_with("&url=A.b-C")) << targets[1];
}

} // namespace

namespace {

// A pattern the engine cannot search in linear time (a back-reference), over
// a reply on which its backtracking explodes.
SQueryRule ExplosiveRule() {
    SQueryRule rule = CMetricTable::At(Metric::GSite).query;
    rule.strPattern = "(a|aa)+\\1b";
    rule.strBlockPattern.clear();
    rule.strNonePattern.clear();
    return rule;
}

TEST_F(MetricQueryTest, PatternThatNeedsTooLongFailsAsNoMatch) {
    Reply(200, std::string(100, 'a'));
    const SQueryResult result = m_query.Query(ExplosiveRule(), "abc");
    EXPECT_EQ(result.strValue, "");
    EXPECT_EQ(result.state.outcome, EOutcome::Failed);
    EXPECT_EQ(result.state.reason, EFailReason::NoMatch);
    EXPECT_EQ(result.state.strDetail, "the pattern needs too long on this reply");
}

TEST(MetricQuery, CancellingDuringAMatchEndsItAsCancelled) {
    ServiceTestBed bed;
    const std::string strBody(100, 'a');
    for (Service service : {Service::Google}) {
        bed.SetHandler(service, [=](const httplib::Request&, httplib::Response& res) {
            res.set_content(strBody, "text/html");
        });
    }
    std::atomic<bool> bCancel{false};
    CMetricQuery query(bed.Hosts(), &bCancel);
    // Only the match can still be running once the reply is there.
    std::thread stopper([&] {
        while (bed.Requests().empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        bCancel = true;
    });
    const SQueryResult result = query.Query(ExplosiveRule(), "abc");
    stopper.join();
    EXPECT_EQ(result.state.outcome, EOutcome::Failed);
    EXPECT_EQ(result.state.reason, EFailReason::Cancelled);
}

} // namespace
