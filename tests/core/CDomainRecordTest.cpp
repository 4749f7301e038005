#include "core/CDomainRecord.h"

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
    for (int i = 0; i < kMetricCount; ++i) {
        EXPECT_EQ(record.GetMetric(static_cast<EMetric>(i)), "");
    }
}

TEST(CDomainRecordTest, FailedPageRankStillMarksTheRowScanned) {
    CDomainRecord record("example.com");
    record.SetPageRankText("");
    EXPECT_TRUE(record.IsScanned());
    EXPECT_EQ(record.GetPageRank(), 0);
    EXPECT_EQ(record.GetPR(), "");
}

TEST(CDomainRecordTest, RescanResetsOnlyThePageRank) {
    CDomainRecord record("example.com");
    record.SetPageRankText("6");
    record.SetMetric(EMetric::Alexa, "1234");
    record.SetMetric(EMetric::GSite, "1,230,000");
    record.SetMetric(EMetric::BSearch2, "17");
    record.ResetForRescan();
    EXPECT_FALSE(record.IsScanned());
    EXPECT_EQ(record.GetPageRank(), -1);
    EXPECT_EQ(record.GetPR(), "");
    EXPECT_EQ(record.GetAlexa(), "1234");
    EXPECT_EQ(record.GetGSite(), "1,230,000");
    EXPECT_EQ(record.GetBSearch2(), "17");
}

TEST(CDomainRecordTest, EachMetricHasItsOwnField) {
    CDomainRecord record("example.com");
    for (int i = 0; i < kMetricCount; ++i) {
        record.SetMetric(static_cast<EMetric>(i), std::to_string(i * 11));
    }
    EXPECT_EQ(record.GetPR(), "0");
    EXPECT_EQ(record.GetAlexa(), "11");
    EXPECT_EQ(record.GetGSite(), "22");
    EXPECT_EQ(record.GetGLink(), "33");
    EXPECT_EQ(record.GetGSearch1(), "44");
    EXPECT_EQ(record.GetGSearch2(), "55");
    EXPECT_EQ(record.GetBSite(), "66");
    EXPECT_EQ(record.GetBLink(), "77");
    EXPECT_EQ(record.GetBSearch1(), "88");
    EXPECT_EQ(record.GetBSearch2(), "99");
}

} // namespace
