// tallyvine-scan against services that misbehave, with the real transfer
// limits: each bad answer ends in its own failure, and the run ends in
// bounded time. Slow (about a minute): labelled slow.
#include "ScanProcess.h"
#include "tests/support/HostileServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <map>
#include <sstream>

namespace {

using Json = nlohmann::json;

TEST(HostileScanTest, EveryStallEndsInItsFailureWithinLimits) {
    const HostileServer server; // trickles a byte every 2 s
    const std::map<std::string, std::string> expected = {
        {"silent.example", "timeout"},     // nothing for 30 s
        {"trickle.example", "too_slow"},   // under 1 KiB in 30 s
        {"loop.example", "redirects"},     // redirects to itself
        {"endless.example", "too_large"}}; // a body past the cap
    ScanRequest request{{"--interval", "0", "--metrics", "PR", "--format", "jsonl"},
                        "silent.example\ntrickle.example\nloop.example\nendless.example\n",
                        server.Host(),
                        false};
    request.timeout = std::chrono::seconds(140);
    const auto start = std::chrono::steady_clock::now();
    const ScanRun run = RunScanner(request);
    const auto took = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(run.nExitCode, 3) << run.strErr;
    EXPECT_LT(took, std::chrono::seconds(100));
    std::map<std::string, std::string> reasons;
    std::istringstream lines(run.strOut);
    for (std::string strLine; std::getline(lines, strLine);) {
        const Json line = Json::parse(strLine);
        EXPECT_EQ(line["metrics"]["PR"]["outcome"], "failed") << strLine;
        reasons[line["domain"]] = line["metrics"]["PR"]["reason"];
    }
    EXPECT_EQ(reasons, expected);
    for (const char* pszSummary : {"tallyvine-scan: 4 rows scanned: 0 values, 0 none, 4 failed\n",
                                   "tallyvine-scan: PR failed 4 of 4: timeout 1, too_slow 1, "
                                   "too_large 1, redirects 1\n"}) {
        EXPECT_NE(run.strErr.find(pszSummary), std::string::npos) << run.strErr;
    }
}

} // namespace
