#include "ScanProcess.h"
#include "tests/lists/ListFixtures.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>

namespace {

using list_fixtures::ListServer;

// The built-in TrancoList served by a local server (every request is routed
// there), with a cache and a configuration folder of the test's own.
class ScanListTest : public testing::Test {
protected:
    void SetUp() override {
        std::vector<std::string> names = {"google.com", "example.co.uk"};
        // The built-in list wants a real list's size.
        for (int i = 0; i < 100000; ++i) {
            names.push_back("site" + std::to_string(i) + ".com");
        }
        m_server.Offer(
            "/top-1m.csv.zip",
            {list_fixtures::Zip({{"top-1m.csv", list_fixtures::RankList(names)}}), "\"t1\""});
    }

    ScanRun Scan(std::vector<std::string> args, const std::string& strStdin = "") {
        ScanRequest request(std::move(args), strStdin, m_server.HostPort(), false);
        request.env.push_back("XDG_CONFIG_HOME=" + m_folder.PathOf("config"));
        request.env.push_back("XDG_CACHE_HOME=" + m_folder.PathOf("cache"));
        return RunScanner(request);
    }

    ListServer m_server;
    TestFolder m_folder{"scan-list"};
};

TEST_F(ScanListTest, UpdatedListAnswersAnOfflineScanWithoutARequestPerName) {
    const ScanRun update = Scan({"--update-lists=TrancoList"});
    EXPECT_EQ(update.nExitCode, 0) << update.strErr;
    EXPECT_EQ(update.strErr,
              "tallyvine-scan: TrancoList: the Tranco list updated: list of 2026-12-09, "
              "100002 rows\n");
    const ScanRun again = Scan({"--update-lists", "--metrics", "TrancoList"});
    EXPECT_NE(again.strErr.find("the Tranco list is unchanged"), std::string::npos) << again.strErr;
    EXPECT_EQ(m_server.Count("/top-1m.csv.zip"), 2);

    const ScanRun list = Scan({"--list-sources"});
    EXPECT_NE(list.strOut.find("\tbuilt in\tlist of 2026-12-09, 100002 rows\n"), std::string::npos)
        << list.strOut;

    const ScanRun csv = Scan({"--offline", "--metrics", "TrancoList", "--interval", "10000"},
                             "www.example.co.uk\nnowhere.example\n");
    EXPECT_EQ(csv.nExitCode, 0) << csv.strErr;
    EXPECT_EQ(csv.strOut,
              "Domain name,PR,GSite,GSearch1,GSearch2,BSite,BSearch1,BSearch2,Alexa,TrancoList\r\n"
              "nowhere.example,,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
              "www.example.co.uk,,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"2\"\r\n");

    const ScanRun jsonl =
        Scan({"--offline", "--metrics", "TrancoList", "--format", "jsonl"}, "www.example.co.uk\n");
    const nlohmann::json line = nlohmann::json::parse(jsonl.strOut);
    EXPECT_EQ(line["metrics"]["TrancoList"],
              nlohmann::json({{"outcome", "value"},
                              {"value", "2"},
                              {"detail", "example.co.uk in the list of 2026-12-09"}}));
    EXPECT_EQ(m_server.Count("/top-1m.csv.zip"), 2);
}

// Rows of a scan that asks lists alone are written together, not one write
// each: every row still reaches the file, in order, and a full disk still
// ends the scan with the rows that were written kept.
TEST_F(ScanListTest, AListOnlyScanWritesEveryRowToItsFile) {
    ASSERT_EQ(Scan({"--update-lists=TrancoList"}).nExitCode, 0);
    std::string strNames;
    std::string strExpected =
        "Domain name,PR,GSite,GSearch1,GSearch2,BSite,BSearch1,BSearch2,Alexa,TrancoList\r\n";
    for (int i = 0; i < 30000; ++i) {
        strNames += "site" + std::to_string(i) + ".com\n";
    }
    std::vector<std::pair<std::string, int>> rows;
    for (int i = 0; i < 30000; ++i) {
        rows.emplace_back("site" + std::to_string(i) + ".com", i + 3);
    }
    std::sort(rows.begin(), rows.end());
    for (const auto& [strName, nRank] : rows) {
        strExpected +=
            strName + ",,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"" + std::to_string(nRank) + "\"\r\n";
    }
    const std::string strOutput = m_folder.PathOf("ranks.csv");
    const ScanRun run =
        Scan({"--offline", "--metrics", "TrancoList", "--output", strOutput}, strNames);
    EXPECT_EQ(run.nExitCode, 0) << run.strErr;
    EXPECT_EQ(TestFolder::Read(strOutput), strExpected);

    ScanRequest full(
        {"--offline", "--metrics", "TrancoList", "--output", m_folder.PathOf("full.csv")}, strNames,
        m_server.HostPort(), false);
    full.env = {"XDG_CONFIG_HOME=" + m_folder.PathOf("config"),
                "XDG_CACHE_HOME=" + m_folder.PathOf("cache")};
    full.nFileSizeBlocks = 1024; // 512 KiB of the 1.3 MB
    const ScanRun cut = RunScanner(full);
    EXPECT_EQ(cut.nExitCode, 1) << cut.strErr;
    EXPECT_NE(cut.strErr.find("safe in " + m_folder.PathOf("full.csv") + ".part"),
              std::string::npos)
        << cut.strErr;
    const std::string strPart = TestFolder::Read(m_folder.PathOf("full.csv") + ".part");
    EXPECT_FALSE(strPart.empty());
    EXPECT_EQ(strPart, strExpected.substr(0, strPart.size()));
    EXPECT_EQ(strPart.back(), '\n');
}

TEST_F(ScanListTest, AListNotCachedFailsItsCellsOfflineWithOneWarning) {
    const ScanRun run = Scan({"--offline", "--metrics", "Umbrella"}, "a.com\nb.com\nc.com\n");
    EXPECT_EQ(run.nExitCode, 3) << run.strErr;
    EXPECT_EQ(run.strErr, "tallyvine-scan: Umbrella: the list is not available: the list is not "
                          "in the cache, and the scan is offline\n"
                          "tallyvine-scan: 3 rows scanned: 0 values, 0 none, 3 failed\n"
                          "tallyvine-scan: Umbrella failed 3 of 3: unavailable 3\n");
    EXPECT_EQ(m_server.Count("/top-1m.csv.zip"), 0);
}

TEST_F(ScanListTest, UpdateWithoutAListIsBadUsage) {
    const ScanRun run = Scan({"--update-lists"});
    EXPECT_EQ(run.nExitCode, 2);
    EXPECT_NE(run.strErr.find("no list source is ticked"), std::string::npos) << run.strErr;
    EXPECT_EQ(Scan({"--update-lists=PR"}).nExitCode, 2);
}

} // namespace
