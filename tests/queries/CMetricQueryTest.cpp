#include "queries/CMetricQuery.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A local server that answers every GET with one fixed reply and records the
// path and query of each request as sent.
class ReplyServer {
public:
    ReplyServer() {
        m_server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_targets.push_back(req.target);
            res.status = m_nStatus;
            res.set_content(m_strReply, "text/plain");
        });
        m_nPort = m_server.bind_to_any_port("127.0.0.1");
        EXPECT_GT(m_nPort, 0);
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }

    ~ReplyServer() {
        // A stop before the accept loop has started would be lost.
        while (m_nPort > 0 && !m_server.is_running()) {
            std::this_thread::sleep_for(1ms);
        }
        m_server.stop();
        m_thread.join();
    }

    void Reply(int nStatus, std::string strReply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nStatus = nStatus;
        m_strReply = std::move(strReply);
    }

    std::vector<std::string> Targets() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_targets;
    }

    CServiceHosts Hosts() const {
        return CServiceHosts::AllOn("127.0.0.1:" + std::to_string(m_nPort));
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_nPort = 0;
    std::mutex m_mutex;
    int m_nStatus = 200;
    std::string m_strReply;
    std::vector<std::string> m_targets;
};

// A port on which nothing listens: bound once by the system, then released.
int UnusedPort() {
    const int nSocket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nSize = sizeof address;
    bind(nSocket, reinterpret_cast<sockaddr*>(&address), nSize);
    getsockname(nSocket, reinterpret_cast<sockaddr*>(&address), &nSize);
    close(nSocket);
    return ntohs(address.sin_port);
}

const char kToken[] = "&timestamp=[0-9a-f]{32}";

class MetricQueryTest : public ::testing::Test {
protected:
    ReplyServer m_server;
    CMetricQuery m_query{m_server.Hosts()};
};

TEST_F(MetricQueryTest, PageRankRequestCarriesChecksumAndEncodedDomain) {
    m_server.Reply(200, "Rank_1:1:7\n");
    EXPECT_EQ(m_query.QueryPageRank("abc"), "7");
    EXPECT_EQ(m_query.QueryPageRank("a.b-c"), "7");

    const std::string strHead = "/search\\?client=navclient-auto&ch=6";
    const std::string strMiddle = "&ie=UTF-8&oe=UTF-8&features=Rank&q=info:";
    const auto targets = m_server.Targets();
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
        m_server.Reply(test.nStatus, test.strReply);
        EXPECT_EQ(m_query.QueryPageRank("abc"), test.pszResult) << test.pszName;
    }
}

TEST(MetricQuery, UnreachableServiceGivesTheEmptyText) {
    CMetricQuery query(CServiceHosts::AllOn("127.0.0.1:" + std::to_string(UnusedPort())));
    EXPECT_EQ(query.QueryPageRank("abc"), "");
    EXPECT_EQ(query.QueryBaiduSite("abc"), "");
}

TEST(MetricQuery, CancelledQueryGivesTheEmptyText) {
    ReplyServer server;
    server.Reply(200, "Rank_1:1:7\n");
    const std::atomic<bool> bCancel{true};
    CMetricQuery query(server.Hosts(), &bCancel);
    EXPECT_EQ(query.QueryPageRank("abc"), "");
}

TEST(MetricQuery, DestroyingAnUnusedQuerySetIsHarmless) {
    auto pQuery = std::make_unique<CMetricQuery>();
    pQuery.reset();
    SUCCEED();
}

using Operation = std::string (CMetricQuery::*)(std::string);

struct RequestCase {
    const char* pszName;
    Operation operation;
    std::string strTarget; // a pattern
};

TEST_F(MetricQueryTest, OtherQueriesSendTheirRequestsAndYieldNoValueYet) {
    const std::string strAlexa =
        "/data/\\+kR702tm5193bZ\\?cli=10&dat=snba&ver=7\\.0&cdt=alx_vw=20&wid=12206"
        "&act=00000000000&ss=1680x1050&bw=964&t=0&ttl=35371&vis=1&rq=4&url=a\\.b-c";
    const RequestCase kCases[] = {
        {"Alexa", &CMetricQuery::QueryAlexaRank, strAlexa},
        {"GSite", &CMetricQuery::QueryGoogleSite,
         "/search\\?q=site%3Aa\\.b-c" + std::string(kToken)},
        {"GLink", &CMetricQuery::QueryGoogleLink,
         "/search\\?q=link%3Aa\\.b-c" + std::string(kToken)},
        {"GSearch1", &CMetricQuery::QueryGoogleSearch1,
         "/search\\?q=a\\.b-c" + std::string(kToken)},
        {"GSearch2", &CMetricQuery::QueryGoogleSearch2,
         "/search\\?q=a\\.b-c&filter=0" + std::string(kToken)},
        {"BSite", &CMetricQuery::QueryBaiduSite, "/s\\?wd=site%3Aa\\.b-c" + std::string(kToken)},
        {"BLink", &CMetricQuery::QueryBaiduLink, "/s\\?wd=Link%3Aa\\.b-c" + std::string(kToken)},
        {"BSearch1", &CMetricQuery::QueryBaiduSearch1,
         "/s\\?wd=%22a\\.b-c%22" + std::string(kToken)},
        {"BSearch2", &CMetricQuery::QueryBaiduSearch2,
         "/s\\?wd=%22a\\.b-c%22&cl=0" + std::string(kToken)},
    };
    m_server.Reply(200, "<POPULARITY URL=\"a.b-c/\" TEXT=\"12345\"/> 1,230,000");
    for (const auto& test : kCases) {
        EXPECT_EQ((m_query.*test.operation)("a.b-c"), "") << test.pszName;
        const auto targets = m_server.Targets();
        ASSERT_FALSE(targets.empty());
        EXPECT_TRUE(std::regex_match(targets.back(), std::regex(test.strTarget)))
            << test.pszName << ": " << targets.back();
    }
    EXPECT_EQ(m_server.Targets().size(), std::size(kCases));
}

} // namespace
