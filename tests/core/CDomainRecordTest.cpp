#include "core/CDomainRecord.h"
#include "tests/support/Metrics.h"

#include <gtest/gtest.h>

namespace {

struct PageRankCase {
    const char* text;
    std::int16_t expected;
};

class PageRankFromTextTest : public testing::TestWithParam<PageRankCase> {};

TEST_P(PageRankFromTextTest, ReadsLikeAtoiKeptToSixteenBits) {
    EXPECT_EQ(CDomainRecord::PageRankFromText(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PageRankFromTextTest,
    testing::Values(PageRankCase{"", 0}, PageRankCase{"7", 7}, PageRankCase{"10", 10},
                    PageRankCase{" \t12abc", 12}, PageRankCase{"+5", 5}, PageRankCase{"-3", -3},
                    PageRankCase{"abc", 0}, PageRankCase{"3.9", 3},
                    // 70000 does not fit: its low 16 bits are 4464.
                    PageRankCase{"70000", 4464}, PageRankCase{"65535", -1},
                    // Beyond long, atoi saturates; the low bits of that are all ones.
                    PageRankCase{"99999999999999999999999", -1}));

TEST(CDomainRecordTest, NewRecordWaitsWithEmptyTexts) {
    CDomainRecord record("example.com");
    EXPECT_EQ(record.GetDomain(), "example.com");
    EXPECT_EQ(record.GetPageRank(), -1);
    EXPECT_FALSE(record.IsScanned());
    for (int i = 0; i < int(Metric::Count); ++i) {
        EXPECT_EQ(record.GetMetric(static_cast<std::size_t>(i)), "");
    }
}

TEST(CDomainRecordTest, FailedPageRankStillMarksTheRowScanned) {
    CDomainRecord record("example.com");
    record.SetPageRankText("");
    EXPECT_TRUE(record.IsScanned());
    EXPECT_EQ(record.GetPageRank(), 0);
    EXPECT_EQ(record.GetMetric(Metric::PR), "");
}

TEST(CDomainRecordTest, RescanResetsOnlyThePageRank) {
    CDomainRecord record("example.com");
    record.SetPageRankText("6");
    record.SetMetric(Metric::Alexa, "1234");
    record.SetMetric(Metric::GSite, "1,230,000");
    record.SetMetric(Metric::BSearch2, "17");
    record.ResetForRescan();
    EXPECT_FALSE(record.IsScanned());
    EXPECT_EQ(record.GetPageRank(), -1);
    EXPECT_EQ(record.GetMetric(Metric::PR), "");
    EXPECT_EQ(record.GetMetric(Metric::Alexa), "1234");
    EXPECT_EQ(record.GetMetric(Metric::GSite), "1,230,000");
    EXPECT_EQ(record.GetMetric(Metric::BSearch2), "17");
}

TEST(CDomainRecordTest, EachMetricHasItsOwnField) {
    CDomainRecord record("example.com");
    for (int i = 0; i < int(Metric::Count); ++i) {
        record.SetMetric(static_cast<std::size_t>(i), std::to_string(i * 11));
    }
    EXPECT_EQ(record.GetMetric(Metric::PR), "0");
    EXPECT_EQ(record.GetMetric(Metric::Alexa), "11");
    EXPECT_EQ(record.GetMetric(Metric::GSite), "22");
    EXPECT_EQ(record.GetMetric(Metric::GLink), "33");
    EXPECT_EQ(record.GetMetric(Metric::GSearch1), "44");
    EXPECT_EQ(record.GetMetric(Metric::GSearch2), "55");
    EXPECT_EQ(record.GetMetric(Metric::BSite), "66");
    EXPECT_EQ(record.GetMetric(Metric::BLink), "77");
    EXPECT_EQ(record.GetMetric(Metric::BSearch1), "88");
    EXPECT_EQ(record.GetMetric(Metric::BSearch2), "99");
}

} // namespace
