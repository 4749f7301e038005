#include "exchange/CJsonLinesExporter.h"
#include "tests/support/Metrics.h"

#include "QuietList.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Json = nlohmann::json;

SQueryResult Result(EOutcome outcome, std::string strValue = {},
                    EFailReason reason = EFailReason::None, int nStatus = 0,
                    std::string strDetail = {}) {
    SQueryResult result;
    result.state.outcome = outcome;
    result.strValue = std::move(strValue);
    result.state.reason = reason;
    result.state.nHttpStatus = nStatus;
    result.state.strDetail = std::move(strDetail);
    return result;
}

struct CellCase {
    const char* pszName;
    SQueryResult result;
    Json expected;
};

class JsonLinesCellTest : public testing::TestWithParam<CellCase> {
protected:
    QuietList m_list;
};

// Each outcome with what it says and nothing more.
TEST_P(JsonLinesCellTest, ACellSaysItsOutcomeAndOnlyWhatItHas) {
    CDomainRecord& record = m_list.Add("a.example");
    record.SetResult(Metric::GSite, GetParam().result, true, 1000);
    const std::string strLine = CJsonLinesExporter::RecordLine(record);
    ASSERT_EQ(strLine.back(), '\n');
    ASSERT_EQ(strLine.find('\n'), strLine.size() - 1);
    const Json line = Json::parse(strLine);
    EXPECT_EQ(line["domain"], "a.example");
    EXPECT_EQ(line["metrics"]["GSite"], GetParam().expected);
    EXPECT_EQ(line["metrics"]["GLink"], Json({{"outcome", "not_asked"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, JsonLinesCellTest,
    testing::Values(
        CellCase{"Value",
                 Result(EOutcome::Value, "1,230", EFailReason::None, 200),
                 {{"outcome", "value"}, {"value", "1,230"}, {"http_status", 200}}},
        CellCase{"None",
                 Result(EOutcome::None, "", EFailReason::None, 200),
                 {{"outcome", "none"}, {"http_status", 200}}},
        CellCase{"BlockedWithStatus",
                 Result(EOutcome::Failed, "", EFailReason::Blocked, 429, "http://x/sorry/"),
                 {{"outcome", "failed"},
                  {"reason", "blocked"},
                  {"http_status", 429},
                  {"detail", "http://x/sorry/"}}},
        CellCase{"FailedWithoutReply",
                 Result(EOutcome::Failed, "", EFailReason::Timeout, 0, "Operation timed out"),
                 {{"outcome", "failed"}, {"reason", "timeout"}, {"detail", "Operation timed out"}}},
        CellCase{"NotAsked", Result(EOutcome::NotAsked), {{"outcome", "not_asked"}}}),
    [](const testing::TestParamInfo<CellCase>& info) { return info.param.pszName; });

TEST(JsonLinesExportTest, EveryMetricOfTheTableIsAMemberInTableOrder) {
    QuietList list;
    const std::string strLine = CJsonLinesExporter::RecordLine(list.Add("a.example"));
    std::size_t nAt = 0;
    for (const SMetric& metric : CMetricTable::Metrics()) {
        const std::size_t nFound = strLine.find("\"" + metric.strId + "\":{", nAt);
        ASSERT_NE(nFound, std::string::npos) << metric.strId << " in " << strLine;
        nAt = nFound;
    }
    EXPECT_EQ(Json::parse(strLine)["metrics"].size(), CMetricTable::Count());
}

// A GBK page's text is not UTF-8: the line must still parse (the parser
// rejects invalid UTF-8), the bad bytes replaced and the good ones kept.
TEST(JsonLinesExportTest, BytesThatAreNotUtf8KeepTheLineValid) {
    QuietList list;
    CDomainRecord& record = list.Add("a.example");
    // "百度 1,000" in GBK, then a UTF-8 character.
    record.SetResult(Metric::BSite, Result(EOutcome::Value, "\xB0\xD9\xB6\xC8 1,000 \xE4\xB8\xAD"),
                     true, 1000);
    record.SetResult(Metric::GSite,
                     Result(EOutcome::Failed, "", EFailReason::NoMatch, 200, "bad \xFF byte"), true,
                     1000);
    Json line;
    ASSERT_NO_THROW(line = Json::parse(CJsonLinesExporter::RecordLine(record)));
    const std::string strValue = line["metrics"]["BSite"]["value"];
    const std::string strReplacement = "\xEF\xBF\xBD";
    EXPECT_EQ(strValue.rfind(strReplacement, 0), 0u) << strValue;
    EXPECT_NE(strValue.find(" 1,000 \xE4\xB8\xAD"), std::string::npos) << strValue;
    EXPECT_EQ(line["metrics"]["GSite"]["detail"], "bad " + strReplacement + " byte");
}

class JsonLinesFileTest : public testing::Test {
protected:
    QuietList m_list;
    TestFolder m_folder{"jsonl"};

    void SetUp() override {
        for (const char* pszDomain : {"c.example", "a.example", "b.example"}) {
            m_list.Add(pszDomain);
        }
    }
    std::vector<std::string> Domains(const std::string& strText) const {
        std::vector<std::string> domains;
        std::size_t nStart = 0;
        for (std::size_t nEnd; (nEnd = strText.find('\n', nStart)) != std::string::npos;
             nStart = nEnd + 1) {
            domains.push_back(Json::parse(strText.substr(nStart, nEnd - nStart))["domain"]);
        }
        EXPECT_EQ(nStart, strText.size()) << "the last line ends with LF";
        return domains;
    }
};

TEST_F(JsonLinesFileTest, RowsFollowTheStoreAndTheFilter) {
    const std::string strPath = m_folder.PathOf("out.jsonl");
    CJsonLinesExporter exporter;
    ASSERT_TRUE(exporter.ExportJsonLines(m_list.manager.Store(), strPath));
    EXPECT_EQ(Domains(TestFolder::Read(strPath)),
              (std::vector<std::string>{"a.example", "b.example", "c.example"}));

    exporter.SetRowFilter(
        [](const CDomainRecord& record) { return record.GetDomain() != "b.example"; });
    ASSERT_TRUE(exporter.ExportJsonLines(m_list.manager.Store(), strPath));
    EXPECT_EQ(Domains(TestFolder::Read(strPath)),
              (std::vector<std::string>{"a.example", "c.example"}));
    EXPECT_EQ(m_folder.Names(), std::vector<std::string>{"out.jsonl"});
}

TEST_F(JsonLinesFileTest, WritesTheSameBytesToADescriptor) {
    const std::string strPath = m_folder.PathOf("out.jsonl");
    ASSERT_TRUE(CJsonLinesExporter().ExportJsonLines(m_list.manager.Store(), strPath));
    const int fd = open(m_folder.PathOf("fd.jsonl").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(CJsonLinesExporter().WriteJsonLines(m_list.manager.Store(), fd));
    close(fd);
    EXPECT_EQ(TestFolder::Read(m_folder.PathOf("fd.jsonl")), TestFolder::Read(strPath));
}

struct FailureCase {
    const char* pszName;
    std::string strPath; // below the test folder
    std::string strError;
};

TEST_F(JsonLinesFileTest, AFileThatCannotBeWrittenKeepsTheOldOneAndSaysWhy) {
    const std::string strKept = m_folder.Write("kept", "old");
    for (const FailureCase& failure :
         {FailureCase{"BelowAPlainFile", "kept/out.jsonl",
                      "cannot create " + m_folder.PathOf("kept/out.jsonl") + ": Not a directory"},
          FailureCase{"FullDevice", "/dev/full",
                      "cannot write /dev/full: No space left on device"}}) {
        const std::string strPath =
            failure.strPath[0] == '/' ? failure.strPath : m_folder.PathOf(failure.strPath);
        std::string strError;
        EXPECT_FALSE(
            CJsonLinesExporter().ExportJsonLines(m_list.manager.Store(), strPath, &strError))
            << failure.pszName;
        EXPECT_EQ(strError, failure.strError) << failure.pszName;
    }
    EXPECT_EQ(TestFolder::Read(strKept), "old");
}

} // namespace

namespace {

// A line read back gives a record whose line is the same bytes.
TEST(JsonLinesReadBackTest, ALineReadBackWritesTheSameBytes) {
    QuietList list;
    CDomainRecord& record = list.Add("a.example");
    record.SetResult(Metric::PR, Result(EOutcome::Value, "7", EFailReason::None, 200), true, 0);
    record.SetResult(Metric::GSite,
                     Result(EOutcome::Failed, "", EFailReason::Blocked, 429, "http://g/..."), true,
                     0);
    record.SetResult(Metric::Alexa, Result(EOutcome::None, "", EFailReason::None, 200), true, 0);
    record.SetResult(Metric::BSite, Result(EOutcome::Value, "\xEF\xBF\xBD x \"q\""), true, 0);
    const std::string strLine = CJsonLinesExporter::RecordLine(record);

    std::string strDomain;
    std::vector<SQueryResult> cells;
    std::string strError;
    ASSERT_TRUE(CJsonLinesExporter::ReadRecordLine(strLine, strDomain, cells, strError))
        << strError;
    EXPECT_EQ(strDomain, "a.example");
    CDomainRecord& copy = list.Add("b.example");
    for (std::size_t nMetric = 0; nMetric < cells.size(); ++nMetric) {
        if (cells[nMetric].state.outcome != EOutcome::NotAsked) {
            copy.SetResult(nMetric, cells[nMetric], true, 0);
        }
    }
    std::string strCopy = CJsonLinesExporter::RecordLine(copy);
    strCopy.replace(strCopy.find("b.example"), 9, "a.example");
    EXPECT_EQ(strCopy, strLine);
}

TEST(JsonLinesReadBackTest, RefusesLinesOfOtherMakers) {
    QuietList list;
    const std::string strLine = CJsonLinesExporter::RecordLine(list.Add("a.example"));
    std::string strOtherSources = strLine;
    strOtherSources.replace(strOtherSources.find("\"Tranco\""), 8, "\"Tranko\"");
    std::string strBadOutcome = strLine;
    strBadOutcome.replace(strBadOutcome.find("not_asked"), 9, "not_known");
    const std::pair<std::string, std::string> cases[] = {
        {"not JSON", "not a line of the JSON Lines export"},
        {"{\"domain\":1,\"metrics\":{}}", "not a line of the JSON Lines export"},
        {strOtherSources, "other sources than this run's"},
        {strBadOutcome, "a cell of PR that is not the export's"},
    };
    for (const auto& [strBad, strWhy] : cases) {
        std::string strDomain;
        std::vector<SQueryResult> cells;
        std::string strError;
        EXPECT_FALSE(CJsonLinesExporter::ReadRecordLine(strBad, strDomain, cells, strError))
            << strBad;
        EXPECT_EQ(strError, strWhy) << strBad;
    }
}

} // namespace
