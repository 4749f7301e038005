#include "exchange/CsvField.h"
#include "exchange/CCsvExporter.h"
#include "tests/support/Metrics.h"

#include "QuietList.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>

namespace {

struct FieldCase {
    const char* pszName;
    std::string strValue;
    bool bQuoted;
    std::string strField;
};

class CsvFieldTest : public testing::TestWithParam<FieldCase> {};

TEST_P(CsvFieldTest, IsWrittenAndReadBack) {
    std::string strField;
    AppendCsvField(strField, GetParam().strValue, GetParam().bQuoted);
    EXPECT_EQ(strField, GetParam().strField);
    std::vector<std::string> fields;
    ASSERT_TRUE(SplitCsvLine("x," + strField + ",y", fields));
    ASSERT_EQ(fields.size(), 3u);
    if (GetParam().strValue.empty() || GetParam().strField.find('\'') == std::string::npos) {
        EXPECT_EQ(fields[1], GetParam().strValue);
    }
    EXPECT_EQ(CsvValue(fields[1]), GetParam().strValue);
}

INSTANTIATE_TEST_SUITE_P(
    Values, CsvFieldTest,
    testing::Values(
        // What the services send is written as it always was.
        FieldCase{"DigitsBare", "7", false, "7"}, FieldCase{"EmptyBare", "", false, ""},
        FieldCase{"EmptyQuoted", "", true, "\"\""},
        FieldCase{"CountQuoted", "1,230,000", true, "\"1,230,000\""},
        FieldCase{"DecimalQuoted", "3.5", true, "\"3.5\""},
        FieldCase{"DomainBare", "a-b.example", false, "a-b.example"},
        // Broken or dangerous before.
        FieldCase{"CommaInABareColumn", "1,234", false, "\"1,234\""},
        FieldCase{"QuoteDoubled", "say \"hi\"", true, "\"say \"\"hi\"\"\""},
        FieldCase{"QuoteInABareColumn", "a\"b", false, "\"a\"\"b\""},
        FieldCase{"LineBreak", "a\nb", false, "\"a\nb\""},
        FieldCase{"Formula", "=cmd|x!A0,injected", false, "\"'=cmd|x!A0,injected\""},
        FieldCase{"Plus", "+1", true, "\"'+1\""}, FieldCase{"Minus", "-1", false, "'-1"},
        FieldCase{"At", "@SUM(A1)", true, "\"'@SUM(A1)\""}, FieldCase{"Tab", "\tx", false, "'\tx"},
        FieldCase{"CarriageReturn", "\rx", false, "\"'\rx\""},
        FieldCase{"DomainLikeAFormula", "-1-1.example", false, "'-1-1.example"}),
    [](const testing::TestParamInfo<FieldCase>& info) { return info.param.pszName; });

TEST(CsvLineTest, RefusesWhatNoExportWrites) {
    std::vector<std::string> fields;
    for (const char* pszLine : {"a,\"open", "a,b\"c", "\"a\"b,c"}) {
        EXPECT_FALSE(SplitCsvLine(pszLine, fields)) << pszLine;
    }
    ASSERT_TRUE(SplitCsvLine(",,", fields));
    EXPECT_EQ(fields, (std::vector<std::string>{"", "", ""}));
}

// The line Python's csv module reads from a file; empty when it fails.
std::string ReadWithPython(const std::string& strPath) {
    const std::string strCommand =
        "python3 -c 'import csv,json,sys; "
        "print(json.dumps(list(csv.reader(open(sys.argv[1], newline=\"\")))))' " +
        strPath;
    std::FILE* pPipe = popen(strCommand.c_str(), "r");
    if (pPipe == nullptr) {
        return {};
    }
    std::string strOut;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pPipe)) > 0;) {
        strOut.append(buffer, n);
    }
    return pclose(pPipe) == 0 ? strOut : std::string();
}

// A hostile reply must neither add columns nor reach a spreadsheet as a
// formula, as read by the reader that spreadsheets' users script with.
TEST(CsvHostileValueTest, KeepsTheColumnsAndCarriesNoFormula) {
    QuietList list;
    const char* hostile[] = {"=cmd|x!A0,injected",
                             "say \"hi\", \"bye\"",
                             "@SUM(1)",
                             "+1",
                             "-2",
                             "\tx",
                             "\r\nnew,row",
                             "a\"b"};
    std::size_t nRow = 0;
    for (const char* pszValue : hostile) {
        CDomainRecord& record = list.Add("h" + std::to_string(nRow++) + ".example");
        for (std::size_t nMetric : {Metric::PR, Metric::GSite, Metric::Alexa, Metric::Tranco}) {
            record.SetMetric(nMetric, pszValue);
        }
    }
    TestFolder folder("hostile");
    const std::string strPath = folder.PathOf("out.csv");
    CCsvExporter exporter;
    exporter.SetExtraMetrics({Metric::Tranco});
    ASSERT_TRUE(exporter.ExportCsv(list.manager.Store(), strPath));

    const std::string strRead = ReadWithPython(strPath);
    ASSERT_FALSE(strRead.empty());
    const nlohmann::json rows = nlohmann::json::parse(strRead);
    ASSERT_EQ(rows.size(), std::size(hostile) + 1);
    const std::size_t nColumns = rows[0].size();
    EXPECT_EQ(nColumns, 10u);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), nColumns) << rows[i].dump();
        for (const auto& field : rows[i]) {
            const std::string strField = field.get<std::string>();
            EXPECT_TRUE(strField.empty() ||
                        std::string("=+-@\t\r").find(strField[0]) == std::string::npos)
                << strField;
        }
        // The value itself comes back whole, only led by the '.
        const std::string strValue = hostile[i - 1];
        const bool bFormula = std::string("=+-@\t\r").find(strValue[0]) != std::string::npos;
        EXPECT_EQ(rows[i][1].get<std::string>(), (bFormula ? "'" : "") + strValue) << i;
    }
}

} // namespace
