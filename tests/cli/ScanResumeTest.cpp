#include "Gate.h"
#include "ScanProcess.h"
#include "tests/support/ServiceTestBed.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Service = ServiceTestBed::Service;

// Scrambled: the rows come out in byte order all the same.
const std::string kList = "h6.example\nh2.example\nh8.example\nh1.example\nh4.example\n"
                          "h7.example\nh3.example\nh5.example\n";

// The first nRows rows of an output, the CSV's header included.
std::string Head(const std::string& strOutput, std::size_t nRows, bool bCsv) {
    std::size_t nAt = 0;
    for (std::size_t n = 0; n < nRows + (bCsv ? 1 : 0); ++n) {
        nAt = strOutput.find('\n', nAt) + 1;
    }
    return strOutput.substr(0, nAt);
}

// A test server whose toolbar answer for one chosen domain waits at a gate,
// so that a test can act while the scanner waits for it.
class ScanResumeTest : public testing::TestWithParam<std::string> {
protected:
    ServiceTestBed m_bed;
    TestFolder m_folder{"resume"};
    std::mutex m_mutex;
    std::string m_strHold;
    std::shared_ptr<Gate> m_pGate;
    std::atomic<int> m_nHeld{0};

    void SetUp() override {
        m_bed.SetHandler(Service::PageRank, [this](const httplib::Request& req,
                                                   httplib::Response& res) {
            const std::string strDomain = req.get_param_value("q").substr(5);
            std::shared_ptr<Gate> pGate;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                pGate = strDomain == m_strHold ? m_pGate : nullptr;
            }
            if (pGate) {
                ++m_nHeld;
                pGate->Wait();
            }
            res.set_content("Rank_1:1:" + std::to_string(strDomain[1] - '0') + "\n", "text/plain");
        });
    }
    void TearDown() override { Release(); }

    // The next toolbar question about the domain waits until Release.
    void Hold(const std::string& strDomain) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_strHold = strDomain;
        m_pGate = std::make_shared<Gate>();
        m_nHeld = 0;
    }
    void Release() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pGate) {
            m_pGate->Open();
        }
        m_strHold.clear();
    }
    bool WaitUntilHeld() {
        for (int i = 0; i < 2000 && m_nHeld == 0; ++i) {
            std::this_thread::sleep_for(5ms);
        }
        return m_nHeld > 0;
    }

    bool Csv() const { return GetParam() == "csv"; }
    std::string Output() const { return m_folder.PathOf(Csv() ? "out.csv" : "out.jsonl"); }
    std::vector<std::string> Args(std::vector<std::string> more = {}) const {
        std::vector<std::string> args{
            "--interval", "0",        "--metrics", "PR,GSite", "--format",
            GetParam(),   "--output", Output(),    "--quiet",  m_folder.PathOf("list.txt")};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    ScanRun Scan(std::vector<std::string> more = {},
                 std::function<void(pid_t)> pfnStarted = nullptr) const {
        ScanRequest request{Args(std::move(more)), "", m_bed.Host(), false};
        request.pfnStarted = std::move(pfnStarted);
        return RunScanner(request);
    }
    // The output of a run that nothing stopped.
    std::string Uninterrupted() {
        const ScanRun run = Scan();
        EXPECT_EQ(run.nExitCode, 0) << run.strErr;
        const std::string strOutput = TestFolder::Read(Output());
        fs::remove(Output());
        return strOutput;
    }
};

// A run killed between two rows, a resumed run killed in the middle of a
// row, a write cut off half-way, and a last resumed run: the file ends as
// an uninterrupted run writes it.
TEST_P(ScanResumeTest, AScanKilledAtAnyPointGoesOnToTheSameFile) {
    m_folder.Write("list.txt", kList);
    const std::string strWhole = Uninterrupted();
    const std::string strPart = Output() + ".part";

    // Between rows: the toolbar question of the third row waits; the second
    // scanner on the same output is refused meanwhile.
    Hold("h3.example");
    ScanRun second;
    const ScanRun first = Scan({}, [&](pid_t pid) {
        ASSERT_TRUE(WaitUntilHeld());
        second = Scan({"--resume"});
        kill(pid, SIGKILL);
    });
    Release();
    EXPECT_EQ(first.nExitCode, -1);
    EXPECT_EQ(second.nExitCode, 1);
    EXPECT_EQ(second.strErr, "tallyvine-scan: another tallyvine-scan is writing " + Output() +
                                 " (" + strPart + " is locked)\n");
    EXPECT_EQ(TestFolder::Read(strPart), Head(strWhole, 2, Csv()));
    EXPECT_FALSE(fs::exists(Output()));

    // A new scan would throw those rows away: refused.
    const ScanRun fresh = Scan();
    EXPECT_EQ(fresh.nExitCode, 1);
    EXPECT_EQ(fresh.strErr, "tallyvine-scan: " + strPart +
                                " holds the rows of a scan that did not end: go on with it with "
                                "--resume, or remove it\n");

    // In the middle of a row: its toolbar answer came, its search question waits.
    Hold("h5.example");
    const ScanRun middle = Scan({"--resume"}, [&](pid_t pid) {
        ASSERT_TRUE(WaitUntilHeld());
        const std::size_t nBefore = m_bed.RequestCount();
        m_bed.SetSilent(Service::Google, true);
        Release();
        ASSERT_TRUE(m_bed.WaitForRequests(nBefore + 1, 10s));
        kill(pid, SIGKILL);
    });
    m_bed.SetSilent(Service::Google, false);
    EXPECT_EQ(middle.nExitCode, -1);
    EXPECT_EQ(TestFolder::Read(strPart), Head(strWhole, 4, Csv()));

    // During a write: half of the next row reached the file.
    const std::string strNext = Head(strWhole, 5, Csv()).substr(Head(strWhole, 4, Csv()).size());
    TestFolder::WriteFile(strPart,
                          Head(strWhole, 4, Csv()) + strNext.substr(0, strNext.size() / 2));

    m_bed.ClearRequests();
    const ScanRun last = Scan({"--resume"});
    EXPECT_EQ(last.nExitCode, 0) << last.strErr;
    EXPECT_EQ(TestFolder::Read(Output()), strWhole);
    EXPECT_FALSE(fs::exists(strPart));
    // Only the rows not yet written were asked.
    EXPECT_EQ(m_bed.RequestCount(), 8u);
}

// A signal ends the scan with FILE whole; --resume goes on from it.
TEST_P(ScanResumeTest, AStoppedScanGoesOnFromTheFinishedFile) {
    m_folder.Write("list.txt", kList);
    const std::string strWhole = Uninterrupted();
    Hold("h4.example");
    const ScanRun stopped = Scan({}, [&](pid_t pid) {
        ASSERT_TRUE(WaitUntilHeld());
        kill(pid, SIGTERM);
    });
    Release();
    EXPECT_EQ(stopped.nExitCode, 128 + SIGTERM);
    EXPECT_EQ(TestFolder::Read(Output()), Head(strWhole, 3, Csv()));
    EXPECT_FALSE(fs::exists(Output() + ".part"));

    const ScanRun resumed = Scan({"--resume"});
    EXPECT_EQ(resumed.nExitCode, 0) << resumed.strErr;
    EXPECT_EQ(TestFolder::Read(Output()), strWhole);
    EXPECT_EQ(m_folder.Names(),
              (std::vector<std::string>{"list.txt", fs::path(Output()).filename()}));
}

// A full disk (the file size limit stands in for it): the rows already
// written stay, the scanner says how many, and a resume finishes the file.
TEST_P(ScanResumeTest, AFullDiskKeepsTheRowsWrittenForAResume) {
    std::string strList;
    for (int i = 10; i < 40; ++i) {
        strList += "h" + std::to_string(i) + ".example\n";
    }
    m_folder.Write("list.txt", strList);
    const std::string strWhole = Uninterrupted();
    ScanRequest request{Args(), "", m_bed.Host(), false};
    request.nFileSizeBlocks = Csv() ? 2 : 8;
    const ScanRun full = RunScanner(request);
    EXPECT_EQ(full.nExitCode, 1);
    const std::string strPart = TestFolder::Read(Output() + ".part");
    const std::size_t nRows = static_cast<std::size_t>(
        std::count(strPart.begin(), strPart.end(), '\n') - (Csv() ? 1 : 0));
    EXPECT_GT(nRows, 0u);
    EXPECT_LT(nRows, 30u);
    EXPECT_EQ(strPart, Head(strWhole, nRows, Csv()));
    EXPECT_EQ(full.strErr, "tallyvine-scan: cannot write " + Output() + ".part: File too large; " +
                               std::to_string(nRows) + " rows safe in " + Output() +
                               ".part: go on with --resume once it can be written\n");

    const ScanRun resumed = Scan({"--resume"});
    EXPECT_EQ(resumed.nExitCode, 0) << resumed.strErr;
    EXPECT_EQ(TestFolder::Read(Output()), strWhole);
}

INSTANTIATE_TEST_SUITE_P(Formats, ScanResumeTest, testing::Values("csv", "jsonl"));

struct RefusalCase {
    const char* pszName;
    std::string strPart; // what FILE.part holds
    std::vector<std::string> args;
    std::string strError; // after "tallyvine-scan: ", with PART for its path
};

class ScanRefusalTest : public testing::TestWithParam<RefusalCase> {
protected:
    ServiceTestBed m_bed;
    TestFolder m_folder{"refuse"};
};

const std::string kHead =
    "Domain name,PR,GSite,GSearch1,GSearch2,BSite,BSearch1,BSearch2,Alexa\r\n";
const std::string kRow = ",5,\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n";

// A file that does not fit the run is left as it is, and nothing is asked.
TEST_P(ScanRefusalTest, AFileThatDoesNotFitTheRunIsRefused) {
    const RefusalCase& refusal = GetParam();
    const std::string strOut = m_folder.PathOf("out");
    const std::string strPart = strOut + ".part";
    m_folder.Write("out.part", refusal.strPart);
    std::vector<std::string> args{"--interval", "0",    "--metrics", "PR",
                                  "--output",   strOut, "--resume"};
    args.insert(args.end(), refusal.args.begin(), refusal.args.end());
    const ScanRun run =
        RunScanner({args, "a.example\nb.example\nc.example\n", m_bed.Host(), false});
    std::string strError = refusal.strError;
    for (std::size_t nAt; (nAt = strError.find("PART")) != std::string::npos;) {
        strError.replace(nAt, 4, strPart);
    }
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, "tallyvine-scan: " + strError + "\n");
    EXPECT_EQ(TestFolder::Read(strPart), refusal.strPart);
    EXPECT_EQ(m_bed.RequestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ScanRefusalTest,
    testing::Values(
        RefusalCase{"AnotherList",
                    kHead + "x.example" + kRow,
                    {},
                    "PART:2: x.example is not in standard input: the file belongs to another "
                    "list or shard"},
        RefusalCase{"AnotherShard",
                    kHead + "a.example" + kRow,
                    {"--shard", "2/2"},
                    "PART:2: a.example is not in standard input in shard 2/2: the file belongs "
                    "to another list or shard"},
        RefusalCase{"AGap",
                    kHead + "b.example" + kRow,
                    {},
                    "PART lacks a.example, which comes before its last row: it belongs to "
                    "another list"},
        RefusalCase{"OtherColumns",
                    kHead,
                    {"--metrics", "PR,Tranco"},
                    "PART has other columns than this run: its header is '" +
                        kHead.substr(0, kHead.size() - 2) + "', this run's '" +
                        kHead.substr(0, kHead.size() - 2) + ",Tranco' (give the same --metrics)"},
        RefusalCase{"AColumnNotAsked",
                    kHead + "a.example,5,\"12\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n",
                    {},
                    "PART:2: GSite holds a value, but this run does not ask it (give the same "
                    "--metrics)"},
        RefusalCase{"JsonLinesForACsv",
                    "{\"domain\":\"a.example\"}\n",
                    {},
                    "PART holds JSON Lines: go on with it with --format jsonl"},
        RefusalCase{"CsvForJsonLines",
                    kHead,
                    {"--format", "jsonl"},
                    "PART is not JSON Lines: go on with it with --format csv"},
        RefusalCase{"NotOurs",
                    kHead + "a.example,\"5\r\n",
                    {},
                    "PART:2: not a row of tallyvine-scan's CSV"},
        RefusalCase{"OutOfOrder",
                    kHead + "b.example" + kRow + "a.example" + kRow,
                    {},
                    "PART:3: a.example is out of order: not tallyvine-scan's output"},
        RefusalCase{"JsonOfSomethingElse",
                    "{\"id\":3}\n",
                    {"--format", "jsonl"},
                    "PART:1: not a line of the JSON Lines export"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.pszName; });

TEST(ScanRefusalOpenTest, APartFileThatCannotBeReadIsRefused) {
    ServiceTestBed bed;
    TestFolder folder("unreadable");
    fs::create_directory(folder.Path() / "out.csv.part");
    const std::string strOut = folder.PathOf("out.csv");
    const ScanRun run = RunScanner(
        {{"--interval", "0", "--output", strOut, "--resume"}, "a.example\n", bed.Host(), false});
    EXPECT_EQ(run.nExitCode, 1);
    EXPECT_EQ(run.strErr, "tallyvine-scan: cannot open " + strOut + ".part: Is a directory\n");
    EXPECT_EQ(bed.RequestCount(), 0u);
}

// The failed cells are asked again, and only they; the file is written anew
// with one line per name.
TEST(ScanRetryTest, OnlyTheFailedCellsAreAskedAgain) {
    ServiceTestBed bed;
    TestFolder folder("retry");
    const std::string strOut = folder.PathOf("out.jsonl");
    const std::vector<std::string> args{"--interval", "0",        "--metrics",
                                        "PR,GSite",   "--format", "jsonl",
                                        "--quiet",    "--output", strOut};
    const std::string strList = "a.example\nb.example\nc.example\n";
    const ScanRun clean = RunScanner({args, strList, bed.Host(), false});
    ASSERT_EQ(clean.nExitCode, 0) << clean.strErr;
    const std::string strClean = TestFolder::Read(strOut);

    bed.SetFault(Service::Google, ServiceTestBed::Fault::ErrorPage);
    const ScanRun failing = RunScanner({args, strList, bed.Host(), false});
    EXPECT_EQ(failing.nExitCode, 3);
    EXPECT_NE(TestFolder::Read(strOut), strClean);
    bed.SetFault(Service::Google, ServiceTestBed::Fault::None);
    bed.ClearRequests();

    std::vector<std::string> retry = args;
    retry.insert(retry.end(), {"--resume", "--retry-failed"});
    const ScanRun retried = RunScanner({retry, strList + "d.example\n", bed.Host(), false});
    EXPECT_EQ(retried.nExitCode, 0) << retried.strErr;
    std::size_t nPageRank = 0;
    for (const auto& request : bed.Requests()) {
        nPageRank += request.service == Service::PageRank ? 1 : 0;
    }
    // The three failed cells, and the name not yet scanned.
    EXPECT_EQ(bed.RequestCount(), 5u);
    EXPECT_EQ(nPageRank, 1u);
    const std::string strWithD = TestFolder::Read(strOut);
    EXPECT_EQ(strWithD.substr(0, strClean.size()), strClean);
    EXPECT_EQ(strWithD.find("\n{\"domain\":\"d.example\""), strClean.size() - 1);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.jsonl"});
}

// A JSON Lines file whose every cell failed, and a retry of it whose
// toolbar question about one name waits while the test signals.
class ScanRetryCutTest : public testing::Test {
protected:
    ServiceTestBed m_bed;
    TestFolder m_folder{"cut"};
    const std::string m_strOut = m_folder.PathOf("out.jsonl");
    const std::vector<std::string> m_args{"--interval", "0",       "--metrics", "PR",    "--format",
                                          "jsonl",      "--quiet", "--output",  m_strOut};
    std::string m_strBefore;
    Gate m_hold;

    void SetUp() override {
        m_bed.SetFault(Service::PageRank, ServiceTestBed::Fault::ErrorPage);
        ASSERT_EQ(RunScanner({m_args, "a.example\nb.example\n", m_bed.Host(), false}).nExitCode, 3);
        m_strBefore = TestFolder::Read(m_strOut);
        m_bed.SetFault(Service::PageRank, ServiceTestBed::Fault::None);
        m_bed.ClearRequests();
    }

    ScanRun Retry(const std::string& strHeld, std::size_t nRequests,
                  const std::function<void(pid_t)>& pfnSignal) {
        m_bed.SetHandler(Service::PageRank,
                         [this, strHeld](const httplib::Request& req, httplib::Response& res) {
                             if (req.get_param_value("q") == "info:" + strHeld) {
                                 m_hold.Wait();
                             }
                             res.set_content("Rank_1:1:3\n", "text/plain");
                         });
        std::vector<std::string> retry = m_args;
        retry.insert(retry.end(), {"--resume", "--retry-failed"});
        ScanRequest request{retry, "a.example\nb.example\n", m_bed.Host(), false};
        request.pfnStarted = [&](pid_t pid) {
            ASSERT_TRUE(m_bed.WaitForRequests(nRequests, 10s));
            pfnSignal(pid);
        };
        const ScanRun run = RunScanner(request);
        m_hold.Open();
        return run;
    }
};

// A retry cut short by a signal writes the file whole: the row whose retry
// was cut keeps its old cells, the others keep what they had or got.
TEST_F(ScanRetryCutTest, ARetryCutShortLosesNoCell) {
    const ScanRun run = Retry("b.example", 2, [](pid_t pid) { kill(pid, SIGTERM); });
    EXPECT_EQ(run.nExitCode, 128 + SIGTERM) << run.strErr;
    const std::string strAfter = TestFolder::Read(m_strOut);
    EXPECT_EQ(strAfter.substr(strAfter.find('\n') + 1),
              m_strBefore.substr(m_strBefore.find('\n') + 1));
    EXPECT_EQ(
        strAfter.rfind("{\"domain\":\"a.example\",\"metrics\":{\"PR\":{\"outcome\":\"value\"", 0),
        0u)
        << strAfter;
    EXPECT_EQ(m_folder.Names(), std::vector<std::string>{"out.jsonl"});
}

// Two signals at once while a retry writes the file anew: the scanner ends
// at once and leaves no half-written copy; the file stays as it was.
TEST_F(ScanRetryCutTest, ASecondSignalLeavesNoHalfWrittenCopy) {
    std::size_t nNamesWhileHeld = 0;
    const ScanRun run = Retry("a.example", 1, [&](pid_t pid) {
        nNamesWhileHeld = m_folder.Names().size();
        // Two signals of different kinds (those of one kind merge) that are
        // both pending when the scanner goes on.
        kill(pid, SIGSTOP);
        kill(pid, SIGTERM);
        kill(pid, SIGINT);
        kill(pid, SIGCONT);
    });
    EXPECT_TRUE(run.nExitCode == 128 + SIGTERM || run.nExitCode == 128 + SIGINT) << run.nExitCode;
    // The file, the part file made from it for the resume, and the new copy.
    EXPECT_EQ(nNamesWhileHeld, 3u);
    EXPECT_EQ(m_folder.Names(), (std::vector<std::string>{"out.jsonl", "out.jsonl.part"}));
    EXPECT_EQ(TestFolder::Read(m_strOut), m_strBefore);
}

// An empty list leaves an old output in place, and says so even when quiet.
TEST(ScanEmptyListTest, LeavesAnOldOutputAndSaysSo) {
    ServiceTestBed bed;
    TestFolder folder("empty");
    const std::string strOut = folder.Write("out.csv", "old\r\n");
    const ScanRun run = RunScanner({{"--quiet", "--output", strOut}, "\n\n", bed.Host(), false});
    EXPECT_EQ(run.nExitCode, 0);
    EXPECT_EQ(run.strErr, "tallyvine-scan: standard input holds no domain name; nothing written, " +
                              strOut + " left as it was\n");
    EXPECT_EQ(TestFolder::Read(strOut), "old\r\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.csv"});
}

} // namespace
