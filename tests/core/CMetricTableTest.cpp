#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "core/CQueryThread.h"
#include "core/CSlabPool.h"
#include "core/CTextPack.h"
#include "tests/core/MessageLog.h"
#include "tests/support/Metrics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <system_error>

namespace {

// Every request of the table for one domain and token, byte for byte as the
// services were always asked.
TEST(CMetricTableTest, EveryMetricAsksItsServiceAsBefore) {
    const std::string strSearch = "http://www.google.com";
    const std::string strChinese = "http://www.baidu.com";
    const std::string strToken = "&timestamp=0123456789abcdef0123456789abcdef";
    const std::pair<std::size_t, std::string> kUrls[] = {
        {Metric::PR, "http://toolbarqueries.google.com/search?client=navclient-auto&ch=62859134871"
                     "&ie=UTF-8&oe=UTF-8&features=Rank&q=info:ex%2Dample%2Ecom" +
                         strToken},
        {Metric::Alexa,
         "http://data.alexa.com/data/+kR702tm5193bZ?cli=10&dat=snba&ver=7.0&cdt=alx_vw=20"
         "&wid=12206&act=00000000000&ss=1680x1050&bw=964&t=0&ttl=35371&vis=1&rq=4"
         "&url=ex-ample.com"},
        {Metric::GSite, strSearch + "/search?q=site%3Aex-ample.com" + strToken},
        {Metric::GLink, strSearch + "/search?q=link%3Aex-ample.com" + strToken},
        {Metric::GSearch1, strSearch + "/search?q=ex-ample.com" + strToken},
        {Metric::GSearch2, strSearch + "/search?q=ex-ample.com&filter=0" + strToken},
        {Metric::BSite, strChinese + "/s?wd=site%3Aex-ample.com" + strToken},
        {Metric::BLink, strChinese + "/s?wd=Link%3Aex-ample.com" + strToken},
        {Metric::BSearch1, strChinese + "/s?wd=%22ex-ample.com%22" + strToken},
        {Metric::BSearch2, strChinese + "/s?wd=%22ex-ample.com%22&cl=0" + strToken},
        {Metric::Tranco, "https://tranco-list.eu/api/ranks/domain/ex-ample.com"},
        {Metric::Created, "https://rdap.org/domain/ex-ample.com"},
        {Metric::FirstSeen, "https://web.archive.org/cdx/search/cdx?url=ex-ample.com"
                            "&fl=timestamp&limit=1&output=json"},
    };
    CMetricQuery query;
    for (const auto& [nMetric, strUrl] : kUrls) {
        EXPECT_EQ(query.RequestUrl(CMetricTable::At(nMetric).query, "ex-ample.com",
                                   "0123456789abcdef0123456789abcdef"),
                  strUrl)
            << CMetricTable::At(nMetric).strId;
    }
}

TEST(CMetricTableTest, NamesAndOrdersAreConsistent) {
    const char* kIds[] = {"PR",       "Alexa", "GSite", "GLink",    "GSearch1",
                          "GSearch2", "BSite", "BLink", "BSearch1", "BSearch2"};
    for (std::size_t i = 0; i < std::size(kIds); ++i) {
        EXPECT_EQ(CMetricTable::At(i).strId, kIds[i]);
        EXPECT_EQ(CMetricTable::Find(kIds[i]), i);
    }
    EXPECT_EQ(CMetricTable::Find("bsearch2"), Metric::BSearch2);
    EXPECT_EQ(CMetricTable::Find("BSearch"), std::nullopt);
    EXPECT_EQ(CMetricTable::PageRankMetric(), Metric::PR);
    // The services are asked in their own order, not the columns'.
    using namespace Metric;
    EXPECT_EQ(CMetricTable::QueryOrder(),
              (std::vector<std::size_t>{Alexa, PR, BSite, GLink, BLink, GSite, BSearch1, BSearch2,
                                        GSearch1, GSearch2, Tranco, Created, FirstSeen, TrancoList,
                                        Majestic, MajesticRefSubNets, Umbrella, CrUX}));
    // The link counts are not exported.
    EXPECT_EQ(CMetricTable::ExportOrder(),
              (std::vector<std::size_t>{PR, GSite, GSearch1, GSearch2, BSite, BSearch1, BSearch2,
                                        Alexa}));
}

TEST(CTextPackTest, SlotsKeepTheirOwnTextsWhateverTheirLength) {
    CTextPack pack;
    EXPECT_TRUE(pack.IsEmpty());
    pack.Set(3, "");
    EXPECT_TRUE(pack.IsEmpty()) << "an empty text needs no block";
    const std::string strLong(300, 'x'); // a length of two bytes
    pack.Set(2, "1,230,000");
    pack.Set(0, strLong);
    pack.Set(5, std::string("a\0b", 3));
    EXPECT_EQ(pack.Get(0), strLong);
    EXPECT_EQ(pack.Get(1), "");
    EXPECT_EQ(pack.Get(2), "1,230,000");
    EXPECT_EQ(pack.Get(5), std::string_view("a\0b", 3));
    EXPECT_EQ(pack.Get(9), "");
    pack.Set(0, "7");
    pack.Set(2, "");
    EXPECT_EQ(pack.Get(0), "7");
    EXPECT_EQ(pack.Get(2), "");
    EXPECT_EQ(pack.Get(5), std::string_view("a\0b", 3));
}

// A controller whose thread cannot be had, as when the process has reached
// its limit of threads.
class CNoThreadManager : public CQueryManager {
public:
    using CQueryManager::CQueryManager;

protected:
    void LaunchWorker(CQueryThread&) override {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "cannot start a thread");
    }
};

TEST(CQueryManagerStartTest, AFailedStartIsReportedAndLeavesTheControllerAsItWas) {
    CRecordStore store;
    MessageLog log;
    CNoThreadManager manager(store, &log, CServiceHosts::AllOn("127.0.0.1:9"));
    EXPECT_TRUE(manager.AddDomain("a.example"));
    EXPECT_EQ(manager.IsThreadAlive(), 0);
    EXPECT_FALSE(manager.IsRunning());
    EXPECT_NE(manager.StartError().find("cannot start a thread"), std::string::npos);
    // The row is kept, and with no worker alive the list can be cleaned.
    EXPECT_EQ(store.GetCount(), 1u);
    EXPECT_EQ(manager.StartThread(), -1);
    manager.RemoveAll();
    EXPECT_EQ(store.GetCount(), 0u);
}

TEST(CQueryManagerStartTest, ScanningOnTheCallersThreadVisitsEveryRowOnce) {
    CRecordStore store;
    MessageLog log;
    CQueryManager manager(store, &log, CServiceHosts::AllOn("127.0.0.1:9"));
    for (std::size_t i = 0; i < Metric::Count; ++i) {
        manager.SetMetricFlag(i, false);
    }
    manager.SetInterval(0);
    for (const char* pszDomain : {"b.example", "a.example", "c.example"}) {
        store.AddDomain(pszDomain);
    }
    manager.ScanEveryRowOnce();
    EXPECT_EQ(manager.IsThreadAlive(), 0);
    EXPECT_EQ(log.Domains(WM_QUERY_END),
              (std::vector<std::string>{"a.example", "b.example", "c.example"}));
    EXPECT_TRUE(log.Domains(WM_DOMAIN_ADDED).empty());
}

} // namespace

namespace {

TEST(CSlabPoolTest, FreedBlocksAreReusedBySizeAndLargeOnesComeFromTheHeap) {
    CSlabPool pool;
    void* pFirst = pool.Allocate(100);
    void* pSecond = pool.Allocate(100);
    EXPECT_NE(pFirst, pSecond);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pFirst) % 8, 0u);
    pool.Free(pFirst, 97); // the same size class
    EXPECT_EQ(pool.Allocate(104), pFirst);
    char* pszText = pool.AllocateBytes(3);
    void* pAligned = pool.Allocate(16);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pAligned) % 8, 0u) << "after a text";
    EXPECT_NE(static_cast<void*>(pszText), pAligned);
    void* pLarge = pool.Allocate(5000);
    std::memset(pLarge, 1, 5000);
    pool.Free(pLarge, 5000);
    pool.Allocate(6000); // freed by ReleaseAll; a leak would show under the sanitizer
    pool.ReleaseAll();
    EXPECT_NE(pool.Allocate(8), nullptr);
}

// Records of a store live in its pools: the domain and every text survive
// the many rebuilds of a scan and go with the store.
TEST(CSlabPoolTest, StoredRecordsKeepTheirTextsThroughRebuilds) {
    CRecordStore store;
    const std::string strLong(300, 'a');
    CDomainRecord* pRecord = store.AddDomain(strLong + ".example");
    for (int nRound = 0; nRound < 3; ++nRound) {
        for (std::size_t nMetric = 0; nMetric < Metric::Count; ++nMetric) {
            pRecord->SetMetric(nMetric, std::string(nMetric * 40 + nRound, 'x'));
        }
    }
    EXPECT_EQ(pRecord->GetDomain(), strLong + ".example");
    EXPECT_EQ(pRecord->GetMetric(Metric::BSearch2), std::string(9 * 40 + 2, 'x'));
    EXPECT_EQ(store.Find(strLong + ".example"), pRecord);
}

} // namespace
