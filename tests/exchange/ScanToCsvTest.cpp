#include "core/CQueryManager.h"
#include "exchange/CCsvExporter.h"
#include "exchange/CListImporter.h"
#include "tests/core/MessageLog.h"
#include "tests/exchange/QuietList.h"
#include "tests/support/Metrics.h"
#include "tests/support/ServiceTestBed.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace std::chrono_literals;
using Layout = ServiceTestBed::GoogleLayout;
using Values = ServiceTestBed::DomainValues;

TEST(ScanToCsv, AListScannedByTheWorkerExportsTheServicesValues) {
    ServiceTestBed bed;
    bed.SetDomain("c.example", {"6", "2101", "1,230,000", "17", "98,700,000", "99,100,000",
                                "2,340,000", "5", "45,600", "46", Layout::Stats});
    bed.SetDomain("B.example",
                  {"3", "88", "12", "0", "1,024", "1,025", "7", "", "8", "9", Layout::Bar});
    bed.SetDomain("a.example",
                  {"0", "", "4,500", "", "77", "78", "3,300", "", "", "1", Layout::ChineseBar});
    bed.SetDomain("nothing.example", Values{});
    // unknown.example is not in the table: only the toolbar knows it.

    TestFolder folder("scan-csv");
    const std::string strList = folder.PathOf("list.txt");
    std::ofstream(strList, std::ios::binary)
        << "c.example\r\nB.example\n\nnot a domain\nunknown.example\na.example\r\n"
           "c.example\nnothing.example";

    MessageLog log;
    CRecordStore store;
    CQueryManager manager(store, &log, bed.Hosts());
    manager.SetInterval(0);
    for (int i = 0; i < int(Metric::Count); ++i) {
        manager.SetMetricFlag(static_cast<std::size_t>(i), true);
    }
    const auto result = CListImporter(AddTo(manager)).ImportFile(strList);
    ASSERT_TRUE(result.bComplete) << result.strError;
    ASSERT_EQ(result.nAdded, 5u);
    ASSERT_TRUE(log.WaitFor(WM_QUERY_END, 5, 30s));

    const std::string strCsv = folder.PathOf("scan.csv");
    std::string strError;
    ASSERT_TRUE(CCsvExporter().ExportCsv(manager.Store(), strCsv, &strError)) << strError;
    EXPECT_EQ(TestFolder::Read(strCsv),
              "Domain name,PR,GSite,GSearch1,GSearch2,BSite,BSearch1,BSearch2,Alexa\r\n"
              "B.example,3,\"12\",\"1,024\",\"1,025\",\"7\",\"8\",\"9\",\"88\"\r\n"
              "a.example,0,\"4,500\",\"77\",\"78\",\"3,300\",\"\",\"1\",\"\"\r\n"
              "c.example,6,\"1,230,000\",\"98,700,000\",\"99,100,000\",\"2,340,000\",\"45,600\","
              "\"46\",\"2101\"\r\n"
              "nothing.example,,\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
              "unknown.example,5,\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
}

} // namespace
