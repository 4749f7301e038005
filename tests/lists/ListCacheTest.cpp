#include "lists/CListCache.h"
#include "lists/CListLookup.h"
#include "tests/lists/ListFixtures.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>

namespace {

using list_fixtures::ListServer;

class ListCacheTest : public ::testing::Test {
protected:
    ListCacheTest() : m_folder("lists"), m_cache(m_folder.Path() / "cache") {}

    // A list of Tranco's shape at strPath: a zip with the member top-1m.csv.
    SListDefinition RankDefinition(const std::string& strPath) {
        SListDefinition definition;
        definition.strUrl = m_server.Url(strPath);
        definition.strMember = "top-1m.csv";
        definition.nameColumn = {2, {}};
        definition.valueColumns = {{1, {}}};
        definition.nMinRows = 3;
        return definition;
    }

    SListStatus Refresh(const SListDefinition& definition, bool bForce = false) {
        return m_cache.Refresh(definition, bForce, definition.strUrl, nullptr);
    }

    std::optional<SListMatch> Find(const SListDefinition& definition, const std::string& strDomain,
                                   EListLookup lookup, bool bAscending = true,
                                   std::size_t nColumn = 0) {
        std::string strError;
        auto pLookup = CListLookup::Open(m_cache.DatabasePath(definition),
                                         definition.valueColumns[nColumn], strError);
        EXPECT_TRUE(pLookup) << strError;
        return pLookup ? pLookup->Find(strDomain, lookup, bAscending) : std::nullopt;
    }

    std::string Value(const SListDefinition& definition, const std::string& strDomain,
                      EListLookup lookup, std::size_t nColumn = 0) {
        const auto match = Find(definition, strDomain, lookup, true, nColumn);
        return match ? match->strValue : "none";
    }

    const std::vector<std::string> m_domains = {"google.com", "example.co.uk", "facebook.com",
                                                "bbc.co.uk", "example.com"};
    ListServer m_server;
    TestFolder m_folder;
    CListCache m_cache;
};

TEST_F(ListCacheTest, ZipWithCrlfAndNoHeaderAnswersRegistrableDomains) {
    m_server.Offer("/top.zip",
                   {list_fixtures::Zip({{"readme.txt", "not this"},
                                        {"top-1m.csv", list_fixtures::RankList(m_domains)}}),
                    "\"v1\""});
    const SListDefinition definition = RankDefinition("/top.zip");
    const SListStatus status = Refresh(definition);
    ASSERT_FALSE(status.bFailed) << status.strDetail;
    const struct {
        const char* pszDomain;
        const char* pszValue;
        const char* pszName;
    } cases[] = {
        {"google.com", "1", "google.com"},    {"WWW.Example.Co.UK", "2", "example.co.uk"},
        {"a.b.bbc.co.uk.", "4", "bbc.co.uk"}, {"co.uk", nullptr, nullptr},
        {"unknown.org", nullptr, nullptr},
    };
    for (const auto& test : cases) {
        const auto match = Find(definition, test.pszDomain, EListLookup::Registrable);
        if (test.pszValue == nullptr) {
            EXPECT_FALSE(match) << test.pszDomain;
            continue;
        }
        ASSERT_TRUE(match) << test.pszDomain;
        EXPECT_EQ(match->strValue, test.pszValue);
        EXPECT_EQ(match->strName, test.pszName);
    }
    const auto info = m_cache.Info(definition);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->nRows, 5);
    EXPECT_EQ(info->strETag, "\"v1\"");
    EXPECT_EQ(info->strLastModified, "Wed, 09 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(info->strUrl, definition.strUrl);
}

TEST_F(ListCacheTest, GzipWithHeaderAnswersOriginsBestFirst) {
    m_server.Offer("/crux.csv.gz",
                   {list_fixtures::Gzip("origin,rank\nhttps://www.example.com,5000\n"
                                        "http://example.com,1000\nhttps://news.site.org,1000\n"),
                    ""});
    SListDefinition definition;
    definition.strUrl = m_server.Url("/crux.csv.gz");
    definition.bHeader = true;
    definition.nameColumn = {0, "origin"};
    definition.valueColumns = {{0, "rank"}};
    definition.names = EListNames::Origin;
    definition.nMinRows = 3;
    ASSERT_FALSE(Refresh(definition).bFailed);
    const auto match = Find(definition, "example.com", EListLookup::Origin);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->strValue, "1000");
    EXPECT_EQ(match->strName, "http://example.com");
    EXPECT_EQ(Value(definition, "www.example.com", EListLookup::Origin), "1000");
    EXPECT_EQ(Value(definition, "news.site.org", EListLookup::Origin), "1000");
    EXPECT_EQ(Value(definition, "site.org", EListLookup::Origin), "none");
}

TEST_F(ListCacheTest, PlainListOfHostsWithTwoValueColumns) {
    m_server.Offer("/million.csv",
                   {"GlobalRank,TldRank,Domain,TLD,RefSubNets\n1,1,google.com,com,400\n"
                    "2,1,blog.example.co.uk,uk,300\n3,2,example.co.uk,uk,200\n",
                    ""});
    SListDefinition definition;
    definition.strUrl = m_server.Url("/million.csv");
    definition.bHeader = true;
    definition.nameColumn = {0, "Domain"};
    definition.valueColumns = {{0, "GlobalRank"}, {0, "RefSubNets"}};
    definition.names = EListNames::Host;
    definition.nMinRows = 3;
    ASSERT_FALSE(Refresh(definition).bFailed);
    EXPECT_EQ(Value(definition, "blog.example.co.uk", EListLookup::Host), "2");
    EXPECT_EQ(Value(definition, "shop.example.co.uk", EListLookup::Host), "3");
    EXPECT_EQ(Value(definition, "shop.example.co.uk", EListLookup::Host, 1), "200");
    EXPECT_EQ(Value(definition, "www.google.com", EListLookup::Host, 1), "400");
}

TEST_F(ListCacheTest, ReversedNamesAreFoundForwards) {
    m_server.Offer("/ranks.txt.gz",
                   {list_fixtures::Gzip("#pos\t#val\t#pr_pos\t#pr_val\t#host_rev\t#n\n"
                                        "1\t9\t2\t0.1\tcom.example\t3\n"
                                        "2\t8\t1\t0.2\tuk.co.bbc\t4\n3\t7\t3\t0.1\torg.site\t1\n"),
                    ""});
    SListDefinition definition;
    definition.strUrl = m_server.Url("/ranks.txt.gz");
    definition.bComments = true;
    definition.chSeparator = '\t';
    definition.nameColumn = {5, {}};
    definition.valueColumns = {{3, {}}};
    definition.names = EListNames::Reversed;
    definition.nMinRows = 3;
    ASSERT_FALSE(Refresh(definition).bFailed);
    EXPECT_EQ(Value(definition, "www.bbc.co.uk", EListLookup::Host), "1");
}

TEST_F(ListCacheTest, UnchangedListCostsOneSmallReplyAndKeepsTheCopy) {
    m_server.Offer(
        "/top.zip",
        {list_fixtures::Zip({{"top-1m.csv", list_fixtures::RankList(m_domains)}}), "\"v1\""});
    const SListDefinition definition = RankDefinition("/top.zip");
    ASSERT_FALSE(Refresh(definition).bFailed);
    EXPECT_EQ(Refresh(definition).strDetail, "fresh");
    EXPECT_EQ(m_server.Count("/top.zip"), 1);
    const SListStatus status = Refresh(definition, true);
    EXPECT_FALSE(status.bFailed) << status.strDetail;
    EXPECT_EQ(status.nHttpStatus, 304);
    EXPECT_EQ(m_server.Conditions().back(), "\"v1\"");
    EXPECT_EQ(Value(definition, "facebook.com", EListLookup::Registrable), "3");
}

TEST_F(ListCacheTest, AFailedRefreshKeepsThePreviousCopyAndSaysWhy) {
    const std::string strGood = list_fixtures::RankList(m_domains);
    const std::string strZip = list_fixtures::Zip({{"top-1m.csv", strGood}});
    const std::string strGzip = list_fixtures::Gzip(strGood + strGood + strGood);
    std::string strBroken = list_fixtures::RankList(
        {"a.com", "b.com", "c.com", "d.com", "e.com", "f.com", "g.com", "h.com"});
    strBroken += "garbage line\n";
    const struct {
        const char* pszName;
        ListServer::Reply reply;
        EFailReason reason;
        const char* pszDetailPart;
    } cases[] = {
        {"archive cut short", {strZip.substr(0, strZip.size() / 2), ""}, EFailReason::NoMatch, ""},
        {"gzip cut short", {strGzip.substr(0, strGzip.size() - 12), ""}, EFailReason::NoMatch, ""},
        {"too few rows",
         {list_fixtures::Zip({{"top-1m.csv", "1,a.com\r\n"}}), ""},
         EFailReason::NoMatch,
         "holds only 1 rows"},
        {"broken line",
         {list_fixtures::Zip({{"top-1m.csv", strBroken}}), ""},
         EFailReason::NoMatch,
         "1 of 9 lines"},
        {"no such member",
         {list_fixtures::Zip({{"other.csv", strGood}}), ""},
         EFailReason::NoMatch,
         "no file 'top-1m.csv'"},
        {"server error", {"", "", 503}, EFailReason::HttpStatus, "503"},
        {"too large", {std::string(4096, 'x'), ""}, EFailReason::TooLarge, ""},
    };
    SListDefinition definition = RankDefinition("/top.zip");
    definition.nMaxBytes = 2048;
    m_server.Offer("/top.zip", {strZip, ""});
    const SListStatus first = Refresh(definition);
    ASSERT_FALSE(first.bFailed) << first.strDetail;
    for (const auto& test : cases) {
        m_server.Offer("/top.zip", test.reply);
        const SListStatus status = Refresh(definition, true);
        EXPECT_TRUE(status.bFailed) << test.pszName;
        EXPECT_EQ(status.reason, test.reason) << test.pszName << ": " << status.strDetail;
        EXPECT_NE(status.strDetail.find(test.pszDetailPart), std::string::npos)
            << test.pszName << ": " << status.strDetail;
        EXPECT_EQ(Value(definition, "bbc.co.uk", EListLookup::Registrable), "4") << test.pszName;
        EXPECT_EQ(m_cache.Info(definition)->nRows, 5) << test.pszName;
    }
    // Only the database and its lock file are left; nothing half-written.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_cache.Folder())) {
        names.push_back(entry.path().extension().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".lock", ".sqlite"}));
}

TEST_F(ListCacheTest, AFewBrokenLinesAreForgiven) {
    std::vector<std::string> domains;
    for (int i = 0; i < 300; ++i) {
        domains.push_back("site" + std::to_string(i) + ".com");
    }
    m_server.Offer(
        "/top.zip",
        {list_fixtures::Zip({{"top-1m.csv", list_fixtures::RankList(domains) + "junk\r\n"}}), ""});
    const SListDefinition definition = RankDefinition("/top.zip");
    const SListStatus status = Refresh(definition);
    EXPECT_FALSE(status.bFailed) << status.strDetail;
    EXPECT_EQ(m_cache.Info(definition)->nRows, 300);
}

TEST_F(ListCacheTest, TwoRefreshersAtOnceDownloadOnce) {
    m_server.Offer(
        "/top.zip",
        {list_fixtures::Zip({{"top-1m.csv", list_fixtures::RankList(m_domains)}}), "", 200, 300});
    const SListDefinition definition = RankDefinition("/top.zip");
    CListCache other(m_cache.Folder());
    SListStatus first;
    SListStatus second;
    std::thread one(
        [&] { first = m_cache.Refresh(definition, false, definition.strUrl, nullptr); });
    std::thread two([&] { second = other.Refresh(definition, false, definition.strUrl, nullptr); });
    one.join();
    two.join();
    EXPECT_FALSE(first.bFailed) << first.strDetail;
    EXPECT_FALSE(second.bFailed) << second.strDetail;
    EXPECT_EQ(m_server.Count("/top.zip"), 1);
    EXPECT_EQ(Value(definition, "example.com", EListLookup::Registrable), "5");
}

TEST_F(ListCacheTest, CacheFolderThatCannotBeWrittenIsAClearFailure) {
    // A file where a folder should be: not even root can write there.
    m_folder.Write("blocked", "");
    CListCache cache(m_folder.Path() / "blocked" / "lists");
    m_server.Offer("/top.zip",
                   {list_fixtures::Zip({{"top-1m.csv", list_fixtures::RankList(m_domains)}}), ""});
    const SListDefinition definition = RankDefinition("/top.zip");
    const SListStatus status = cache.Refresh(definition, false, definition.strUrl, nullptr);
    EXPECT_TRUE(status.bFailed);
    EXPECT_NE(status.strDetail.find("cannot be written"), std::string::npos) << status.strDetail;
    EXPECT_EQ(m_server.Count("/top.zip"), 0);
}

TEST_F(ListCacheTest, CachedFilesAreTheOwnersAlone) {
    m_server.Offer("/top.zip",
                   {list_fixtures::Zip({{"top-1m.csv", list_fixtures::RankList(m_domains)}}), ""});
    const SListDefinition definition = RankDefinition("/top.zip");
    ASSERT_FALSE(Refresh(definition).bFailed);
    struct stat info {};
    ASSERT_EQ(::stat(m_cache.DatabasePath(definition).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u);
}

TEST_F(ListCacheTest, CancelEndsTheWait) {
    m_server.Offer(
        "/top.zip",
        {list_fixtures::Zip({{"top-1m.csv", list_fixtures::RankList(m_domains)}}), "", 200, 2000});
    std::atomic<bool> bCancel{false};
    m_cache.SetCancel(&bCancel);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        bCancel = true;
    });
    const auto tStart = std::chrono::steady_clock::now();
    const SListStatus status = Refresh(RankDefinition("/top.zip"));
    stopper.join();
    EXPECT_EQ(status.reason, EFailReason::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::milliseconds(1500));
}

TEST_F(ListCacheTest, ACopyMissingAColumnIsStale) {
    m_server.Offer(
        "/top.zip",
        {list_fixtures::Zip({{"top-1m.csv", list_fixtures::RankList(m_domains)}}), "\"v1\""});
    SListDefinition definition = RankDefinition("/top.zip");
    ASSERT_FALSE(Refresh(definition).bFailed);
    definition.valueColumns.push_back({2, {}});
    const SListInfo info = *m_cache.Info(definition);
    EXPECT_FALSE(CListCache::IsFresh(definition, info, info.nFetchedAt));
}

} // namespace
