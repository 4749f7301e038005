#include "exchange/ColumnSort.h"
#include "tests/support/Metrics.h"

#include "core/CDomainRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <random>
#include <thread>

namespace {

struct NumberCase {
    const char* pszText;
    std::int64_t nNumber;
};

class ReadNumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(ReadNumberTest, ReadsLikeAtoi) {
    EXPECT_EQ(ReadNumber(GetParam().pszText), GetParam().nNumber);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadNumberTest,
    testing::Values(NumberCase{"", 0}, NumberCase{"12", 12}, NumberCase{" \t\r\n7x", 7},
                    NumberCase{"-3", -3}, NumberCase{"+4", 4}, NumberCase{"abc", 0},
                    NumberCase{"- 3", 0}, NumberCase{"1,230", 1},
                    // Beyond 32 bits counts still order by size, then saturate.
                    NumberCase{"4294967296", 4294967296LL},
                    NumberCase{"99999999999999999999", INT64_MAX},
                    NumberCase{"-99999999999999999999", INT64_MIN}));

TEST(CountKeyTest, DropsThousandsCommasFirst) {
    EXPECT_EQ(CountKey("1,230,000"), 1230000);
    EXPECT_EQ(CountKey(" 99,999"), 99999);
    EXPECT_EQ(CountKey(""), 0);
    EXPECT_EQ(CountKey("about 5"), 0);
    EXPECT_EQ(CountKey("3,000,000,000"), 3000000000LL);
}

// Records with one metric text each (PR also sets the number).
class ColumnSortTest : public testing::Test {
protected:
    std::vector<std::unique_ptr<CDomainRecord>> m_records;

    CDomainRecord* Make(const std::string& strDomain, std::size_t metric,
                        const std::string& strText) {
        m_records.push_back(std::make_unique<CDomainRecord>(strDomain));
        m_records.back()->SetMetric(metric, strText);
        return m_records.back().get();
    }

    std::vector<CDomainRecord*> Rows() const {
        std::vector<CDomainRecord*> rows;
        for (const auto& pRecord : m_records) {
            rows.push_back(pRecord.get());
        }
        return rows;
    }

    static std::vector<std::string> Domains(const std::vector<CDomainRecord*>& rows) {
        std::vector<std::string> domains;
        for (const CDomainRecord* pRecord : rows) {
            domains.emplace_back(pRecord->GetDomain());
        }
        return domains;
    }

    std::vector<std::string> Sorted(std::size_t nMetric) const {
        auto rows = Rows();
        SortByMetric(rows, nMetric);
        return Domains(rows);
    }

    std::vector<std::string> SortedByDomain() const {
        auto rows = Rows();
        SortByDomain(rows);
        return Domains(rows);
    }
};

using Order = std::vector<std::string>;

TEST_F(ColumnSortTest, CountsPutTheLargestFirstAndEmptyAmongTheZeros) {
    Make("empty", Metric::GSite, "");
    Make("small", Metric::GSite, "99,999");
    Make("big", Metric::GSite, "1,230,000");
    Make("words", Metric::GSite, "n/a");
    Make("huge", Metric::GSite, "3,000,000,000");
    const Order sorted = Sorted(Metric::GSite);
    EXPECT_EQ(Order(sorted.begin(), sorted.begin() + 3), (Order{"huge", "big", "small"}));
    EXPECT_EQ(Order(sorted.begin() + 3, sorted.end()), (Order{"empty", "words"}));
}

TEST_F(ColumnSortTest, EveryCountColumnSortsItsOwnMetric) {
    const std::size_t counts[] = {Metric::GSite, Metric::GLink, Metric::GSearch1, Metric::GSearch2,
                                  Metric::BSite, Metric::BLink, Metric::BSearch1, Metric::BSearch2};
    for (const std::size_t metric : counts) {
        m_records.clear();
        Make("low", metric, "1");
        Make("high", metric, "2,000");
        // Another column's value must not count.
        Make("other", metric == Metric::GSite ? Metric::BSite : Metric::GSite, "9,999,999");
        EXPECT_EQ(Sorted(metric), (Order{"high", "low", "other"})) << metric;
    }
}

TEST_F(ColumnSortTest, PageRankPutsTheHighestFirstAndWaitingRowsLast) {
    Make("waiting", Metric::PR, "");
    m_records.back()->ResetForRescan();
    Make("failed", Metric::PR, "");
    Make("three", Metric::PR, "3");
    Make("seven", Metric::PR, "7");
    EXPECT_EQ(Sorted(Metric::PR), (Order{"seven", "three", "failed", "waiting"}));
}

TEST_F(ColumnSortTest, AlexaPutsEmptyFirstThenRanksUpwards) {
    Make("ten", Metric::Alexa, "10");
    Make("one", Metric::Alexa, "1");
    Make("empty", Metric::Alexa, "");
    Make("two", Metric::Alexa, "2");
    EXPECT_EQ(Sorted(Metric::Alexa), (Order{"empty", "one", "two", "ten"}));
}

TEST_F(ColumnSortTest, DomainsSortInUnsignedByteOrder) {
    for (const char* pszDomain : {"b.example", "\xE4.example", "a.example", "B.example", "a.ex"}) {
        Make(pszDomain, Metric::GSite, "");
    }
    EXPECT_EQ(SortedByDomain(),
              (Order{"B.example", "a.ex", "a.example", "b.example", "\xE4.example"}));
}

TEST_F(ColumnSortTest, ARowWaitingForItsRescanSortsByItsOlderTexts) {
    CDomainRecord* pWaiting = Make("waiting", Metric::GSite, "500");
    pWaiting->SetMetric(Metric::PR, "9");
    pWaiting->SetMetric(Metric::Alexa, "1");
    pWaiting->ResetForRescan();
    Make("other", Metric::GSite, "20")->SetMetric(Metric::Alexa, "5");
    m_records.back()->SetMetric(Metric::PR, "1");
    EXPECT_EQ(Sorted(Metric::PR), (Order{"other", "waiting"}));
    EXPECT_EQ(Sorted(Metric::Alexa), (Order{"waiting", "other"}));
    EXPECT_EQ(Sorted(Metric::GSite), (Order{"waiting", "other"}));
}

TEST_F(ColumnSortTest, MetricsPastTheLastChangeNothing) {
    Make("b", Metric::GSite, "1");
    Make("a", Metric::GSite, "2");
    for (const std::size_t nMetric : {CMetricTable::Count(), std::size_t{1000}}) {
        EXPECT_EQ(MetricPredicate(nMetric), nullptr) << nMetric;
        EXPECT_EQ(Sorted(nMetric), (Order{"b", "a"})) << nMetric;
    }
}

// The snapshot sort and each column's predicate agree, and sorting twice
// gives the same order (equal rows keep their places).
TEST_F(ColumnSortTest, SortedRowsFollowTheColumnPredicate) {
    std::mt19937 random(7);
    const char* texts[] = {"", "0", "1", "12", "1,000", "999", "x", "-2", " 5", "2,147,483,648"};
    for (int i = 0; i < 300; ++i) {
        auto* pRecord = Make("d" + std::to_string(random() % 1000) + ".example", Metric::PR,
                             texts[random() % 10]);
        for (int m = 1; m < int(Metric::Count); ++m) {
            pRecord->SetMetric(static_cast<std::size_t>(m), texts[random() % 10]);
        }
    }
    auto byDomain = Rows();
    SortByDomain(byDomain);
    EXPECT_TRUE(std::is_sorted(byDomain.begin(), byDomain.end(), CompareDomain));
    for (std::size_t nMetric = 0; nMetric < CMetricTable::Count(); ++nMetric) {
        auto rows = Rows();
        SortByMetric(rows, nMetric);
        EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), MetricPredicate(nMetric))) << nMetric;
        auto again = rows;
        SortByMetric(again, nMetric);
        EXPECT_EQ(again, rows) << nMetric;
    }
}

// The worker may store values while the window sorts: the sort must still
// give back every row exactly once.
TEST_F(ColumnSortTest, ValuesChangingDuringTheSortLoseNoRow) {
    for (int i = 0; i < 20000; ++i) {
        Make("d" + std::to_string(i), Metric::GSite, std::to_string(i % 97));
    }
    std::atomic<bool> bDone{false};
    std::thread writer([&] {
        std::mt19937 random(3);
        while (!bDone.load()) {
            m_records[random() % m_records.size()]->SetMetric(Metric::GSite,
                                                              std::to_string(random() % 1000));
        }
    });
    auto rows = Rows();
    for (int i = 0; i < 5; ++i) {
        SortByMetric(rows, Metric::GSite);
    }
    bDone = true;
    writer.join();
    auto expected = Rows();
    std::sort(rows.begin(), rows.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(rows, expected);
}

} // namespace
