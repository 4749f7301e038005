#include "core/CDomainRecord.h"
#include "core/SPassSummary.h"
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

namespace {

SQueryResult Result(EOutcome outcome, std::string strValue = {},
                    EFailReason reason = EFailReason::None, int nStatus = 200,
                    std::string strDetail = {}) {
    return {std::move(strValue), {outcome, reason, nStatus, std::move(strDetail)}};
}

TEST(CDomainRecordCellTest, EachCellKeepsItsOutcomeBesideItsValue) {
    CDomainRecord record("example.com");
    EXPECT_EQ(record.GetCellState(Metric::GSite).outcome, EOutcome::NotAsked);
    record.BeginScan(1000);
    record.SetResult(Metric::GSite, Result(EOutcome::Value, "1,230"), true, 1005);
    record.SetResult(Metric::Alexa, Result(EOutcome::None), true, 1006);
    record.SetResult(Metric::BSite,
                     Result(EOutcome::Failed, "", EFailReason::Blocked, 429, "http://x/"), true,
                     1007);
    record.SetResult(Metric::GLink, Result(EOutcome::Value, "17", EFailReason::None, 404), true,
                     1008);
    EXPECT_EQ(record.GetMetric(Metric::GSite), "1,230");
    const SCellState value = record.GetCellState(Metric::GSite);
    EXPECT_EQ(value.outcome, EOutcome::Value);
    EXPECT_EQ(value.nHttpStatus, 200);
    EXPECT_EQ(value.nFetchedAt, 1000u) << "asked with its row";
    EXPECT_EQ(record.GetCellState(Metric::Alexa).outcome, EOutcome::None);
    const SCellState failed = record.GetCellState(Metric::BSite);
    EXPECT_EQ(failed.reason, EFailReason::Blocked);
    EXPECT_EQ(failed.nHttpStatus, 429);
    EXPECT_EQ(failed.strDetail, "http://x/");
    EXPECT_EQ(record.GetCellState(Metric::GLink).nHttpStatus, 404);
    EXPECT_EQ(record.GetCellState(Metric::BLink).outcome, EOutcome::NotAsked);
}

TEST(CDomainRecordCellTest, OnlyFailedCellsAreMarkedAndAnsweringSettlesThem) {
    CDomainRecord record("example.com");
    record.BeginScan(1000);
    EXPECT_FALSE(record.MarkFailedCells());
    record.SetResult(Metric::PR, Result(EOutcome::Value, "5"), true, 1000);
    record.SetResult(Metric::GSite, Result(EOutcome::Failed, "", EFailReason::Timeout, 0), true,
                     1000);
    record.SetResult(Metric::BSite, Result(EOutcome::Failed, "", EFailReason::Dns, 0), true, 1000);
    EXPECT_TRUE(record.MarkFailedCells());
    EXPECT_TRUE(record.HasPendingCells());
    EXPECT_EQ(record.PendingCells(), (std::vector<std::size_t>{Metric::GSite, Metric::BSite}));
    EXPECT_EQ(record.GetCellState(Metric::GSite).reason, EFailReason::Timeout)
        << "a marked cell keeps its failure until it is answered";
    record.SetResult(Metric::GSite, Result(EOutcome::Value, "12"), false, 2000);
    record.SettlePending();
    EXPECT_TRUE(record.HasPendingCells());
    record.SetResult(Metric::BSite, Result(EOutcome::None), false, 2001);
    record.SettlePending();
    EXPECT_FALSE(record.HasPendingCells());
    EXPECT_EQ(record.GetCellState(Metric::GSite).nFetchedAt, 2000u) << "asked on its own";
    EXPECT_EQ(record.GetMetric(Metric::PR), "5");
    EXPECT_EQ(record.GetPageRank(), 5);
}

// A detail is kept once for every row that shows it, yet each row reads its
// own: its domain where the detail names it, and the text as given however
// it is made.
TEST(CDomainRecordCellTest, DetailsAreSharedAndEachRowReadsItsOwn) {
    const std::string strLong(300, 'z');
    const struct {
        const char* pszDomain;
        std::string strDetail;
    } rows[] = {
        {"a.example", "http://host/s/a.example?q=..."},
        {"bb.example", "http://host/s/bb.example?q=..."},
        {"x-y.example", "http://host/x-y.example/x%2Dy%2Eexample"},
        {"a.example", "Failed to connect to host port 80 after 3 ms: Connection refused"},
        {"a.example", std::string("mark\1bytes\2a.example", 20)},
        {"a.example", "http://host/" + strLong},
        {"", "no domain"},
        {"e", "every e in the text"},
    };
    for (const auto& row : rows) {
        CDomainRecord record(row.pszDomain);
        record.BeginScan(1000);
        record.SetResult(Metric::GSite,
                         Result(EOutcome::Failed, "", EFailReason::Blocked, 429, row.strDetail),
                         true, 1000);
        EXPECT_EQ(record.GetCellState(Metric::GSite).strDetail, row.strDetail);
        ASSERT_TRUE(record.MarkFailedCells());
        const SCellState marked = record.GetCellState(Metric::GSite);
        EXPECT_EQ(marked.strDetail, row.strDetail);
        EXPECT_TRUE(marked.bPending);
    }
}

// The note of a failed cell holds no copy of its address: a long one costs a
// cell no more than a short one.
TEST(CCellNoteTest, AFailedCellsNoteDoesNotGrowWithItsDetail) {
    SCellState state;
    state.outcome = EOutcome::Failed;
    state.reason = EFailReason::HttpStatus;
    state.nHttpStatus = 503;
    state.nFetchedAt = 1000;
    state.strDetail = "http://www.example.com/" + std::string(200, 'p') + "/a.example?q=...";
    const std::string strNote = CCellNote::Encode(state, 1000, "a.example");
    EXPECT_LT(strNote.size(), 16u);
    state.strDetail = "http://www.example.com/" + std::string(200, 'p') + "/b.example?q=...";
    EXPECT_EQ(CCellNote::Encode(state, 1000, "b.example"), strNote) << "one text for both rows";
    EXPECT_EQ(CCellNote::Decode(strNote, 1000, "b.example").strDetail, state.strDetail);
}

// The row's scan state is its own: a PageRank text whose number is negative
// (a sign, or 16 bits overflowing) still makes the row scanned, and the row
// shows all its cells; only a waiting row hides all but PageRank's.
struct ScanStateCase {
    const char* pszName;
    const char* pszPageRank; // null: never asked
    bool bRescan;
    EScanState expected;
};

class ScanStateTest : public testing::TestWithParam<ScanStateCase> {};

TEST_P(ScanStateTest, TheStateDecidesWhichCellsShow) {
    CDomainRecord record("example.com");
    if (GetParam().pszPageRank != nullptr) {
        record.SetPageRankText(GetParam().pszPageRank);
    }
    if (GetParam().bRescan) {
        record.ResetForRescan();
    }
    const bool bScanned = GetParam().expected == EScanState::Scanned;
    EXPECT_EQ(record.GetScanState(), GetParam().expected);
    EXPECT_EQ(record.NeedsScan(), !bScanned);
    EXPECT_TRUE(record.ShowsCell(Metric::PR));
    EXPECT_EQ(record.ShowsCell(Metric::Alexa), bScanned);
    EXPECT_EQ(record.ShowsCell(Metric::BSearch2), bScanned);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ScanStateTest,
    testing::Values(ScanStateCase{"New", nullptr, false, EScanState::Waiting},
                    ScanStateCase{"Answered", "6", false, EScanState::Scanned},
                    ScanStateCase{"Failed", "", false, EScanState::Scanned},
                    ScanStateCase{"NegativeText", "-3", false, EScanState::Scanned},
                    ScanStateCase{"OverflowsToNegative", "40000", false, EScanState::Scanned},
                    ScanStateCase{"SentBack", "6", true, EScanState::Waiting}),
    [](const testing::TestParamInfo<ScanStateCase>& info) { return info.param.pszName; });

TEST(CDomainRecordCellTest, ACellTheNewScanDoesNotAskKeepsItsOwnFetchTime) {
    CDomainRecord record("example.com");
    record.BeginScan(1000);
    record.SetResult(Metric::PR, Result(EOutcome::Value, "5"), true, 1000);
    record.SetResult(Metric::GLink, Result(EOutcome::Value, "17"), true, 1000);
    record.SetResult(Metric::BSite, Result(EOutcome::Failed, "", EFailReason::Dns, 0), true, 1000);
    // A rescan in which GLink and BSite are no longer ticked.
    record.ResetForRescan();
    record.BeginScan(5000);
    record.SetResult(Metric::PR, Result(EOutcome::Value, "6"), true, 5000);
    EXPECT_EQ(record.GetCellState(Metric::PR).nFetchedAt, 5000u);
    EXPECT_EQ(record.GetCellState(Metric::GLink).nFetchedAt, 1000u);
    EXPECT_EQ(record.GetMetric(Metric::GLink), "17");
    const SCellState failed = record.GetCellState(Metric::BSite);
    EXPECT_EQ(failed.nFetchedAt, 1000u);
    EXPECT_EQ(failed.reason, EFailReason::Dns);
    EXPECT_EQ(record.GetCellState(Metric::Alexa).outcome, EOutcome::NotAsked);
    EXPECT_EQ(record.GetCellState(Metric::Alexa).nFetchedAt, 5000u) << "never asked: no time";
}

TEST(CDomainRecordCellTest, OnlyTheCellsARowShowsAreCounted) {
    CDomainRecord record("example.com");
    record.BeginScan(1000);
    record.SetResult(Metric::PR, Result(EOutcome::Failed, "", EFailReason::Timeout, 0), true, 1000);
    record.SetResult(Metric::GSite, Result(EOutcome::Failed, "", EFailReason::Blocked, 429), true,
                     1000);
    record.SetResult(Metric::BSite, Result(EOutcome::Value, "4"), true, 1000);
    std::vector<SMetricTally> tallies(CMetricTable::Count());
    record.CountShownCells(tallies);
    EXPECT_EQ(tallies[Metric::PR].nFailed, 1u);
    EXPECT_EQ(tallies[Metric::GSite].nFailed, 1u);
    EXPECT_EQ(tallies[Metric::BSite].nValues, 1u);
    EXPECT_EQ(tallies[Metric::Alexa].nAsked, 0u);

    record.ResetForRescan();
    std::vector<SMetricTally> waiting(CMetricTable::Count());
    record.CountShownCells(waiting);
    EXPECT_EQ(waiting[Metric::PR].nFailed, 1u) << "a waiting row still shows its PageRank cell";
    EXPECT_EQ(waiting[Metric::GSite].nAsked, 0u);
}

} // namespace
