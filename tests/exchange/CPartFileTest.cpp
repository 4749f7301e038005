#include "exchange/CPartFile.h"

#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class PartFileTest : public testing::Test {
protected:
    TestFolder m_folder{"part"};

    std::string PathOf(const std::string& strName) const { return m_folder.PathOf(strName); }

    // Every line the part file gives back, joined.
    static std::string ReadBack(CPartFile& part) {
        std::string strLines;
        EXPECT_TRUE(part.ReadLines(
            [&](std::string_view strLine) {
                strLines += strLine;
                return true;
            },
            1 << 20));
        return strLines;
    }
};

TEST_F(PartFileTest, RowsGrowBesideTheFileThatStaysUntilTheEnd) {
    const std::string strPath = m_folder.Write("out.csv", "old\r\n");
    CPartFile part(strPath);
    ASSERT_EQ(part.Create(), CPartFile::EOpen::Opened);
    EXPECT_EQ(part.PartPath(), strPath + ".part");
    ASSERT_TRUE(part.Append("head\r\n", 0));
    ASSERT_TRUE(part.Append("a\r\nb\r\n", 2));
    EXPECT_EQ(TestFolder::Read(strPath), "old\r\n");
    EXPECT_EQ(TestFolder::Read(strPath + ".part"), "head\r\na\r\nb\r\n");
    EXPECT_EQ(part.WrittenRows(), 2u);
    ASSERT_TRUE(part.Finish()) << part.Error();
    EXPECT_EQ(part.DurableRows(), 2u);
    EXPECT_EQ(TestFolder::Read(strPath), "head\r\na\r\nb\r\n");
    EXPECT_EQ(m_folder.Names(), std::vector<std::string>{"out.csv"});
}

TEST_F(PartFileTest, RowsReachTheDiskWithinTheSyncPeriod) {
    CPartFile part(PathOf("out.csv"), 10ms);
    ASSERT_EQ(part.Create(), CPartFile::EOpen::Opened);
    ASSERT_TRUE(part.Append("a\n", 1));
    for (int i = 0; i < 500 && part.DurableRows() < 1; ++i) {
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(part.DurableRows(), 1u);
}

// A part file left by a run that did not end is never overwritten by a new
// one, and one that a running writer holds is refused even to a resume.
TEST_F(PartFileTest, ALeftOrHeldPartFileIsNotTaken) {
    const std::string strPath = PathOf("out.csv");
    {
        CPartFile first(strPath);
        ASSERT_EQ(first.Create(), CPartFile::EOpen::Opened);
        ASSERT_TRUE(first.Append("row\n", 1));
        CPartFile second(strPath);
        EXPECT_EQ(second.Create(), CPartFile::EOpen::Busy);
        CPartFile resumed(strPath);
        EXPECT_EQ(resumed.Resume(), CPartFile::EOpen::Busy);
    }
    CPartFile again(strPath);
    EXPECT_EQ(again.Create(), CPartFile::EOpen::Exists);
    EXPECT_EQ(TestFolder::Read(strPath + ".part"), "row\n");
}

TEST_F(PartFileTest, AResumeCutsALineWrittenOnlyInPart) {
    const std::string strPath = PathOf("out.csv");
    m_folder.Write("out.csv.part", "head\r\na\r\nb,\"half");
    CPartFile part(strPath);
    ASSERT_EQ(part.Resume(), CPartFile::EOpen::Opened);
    EXPECT_FALSE(part.FromFinishedFile());
    EXPECT_EQ(ReadBack(part), "head\r\na\r\n");
    ASSERT_TRUE(part.Append("b\r\n", 1));
    ASSERT_TRUE(part.Finish());
    EXPECT_EQ(TestFolder::Read(strPath), "head\r\na\r\nb\r\n");
}

TEST_F(PartFileTest, AResumeGoesOnFromAFinishedFileAndLeavesItAsItWas) {
    const std::string strPath = m_folder.Write("out.csv", "head\r\na\r\n");
    CPartFile part(strPath);
    ASSERT_EQ(part.Resume(), CPartFile::EOpen::Opened);
    EXPECT_TRUE(part.FromFinishedFile());
    EXPECT_EQ(ReadBack(part), "head\r\na\r\n");
    ASSERT_TRUE(part.Append("b\r\n", 1));
    EXPECT_EQ(TestFolder::Read(strPath), "head\r\na\r\n");
    ASSERT_TRUE(part.Finish());
    EXPECT_EQ(TestFolder::Read(strPath), "head\r\na\r\nb\r\n");

    CPartFile nothing(PathOf("none.csv"));
    EXPECT_EQ(nothing.Resume(), CPartFile::EOpen::Missing);
}

TEST_F(PartFileTest, ALineOverTheBoundIsRefused) {
    m_folder.Write("out.csv.part", std::string(5000, 'x') + "\n");
    CPartFile part(PathOf("out.csv"));
    ASSERT_EQ(part.Resume(), CPartFile::EOpen::Opened);
    EXPECT_FALSE(part.ReadLines([](std::string_view) { return true; }, 4096));
    EXPECT_NE(part.Error().find("holds a line longer than"), std::string::npos);
}

// A full disk (the file size limit stands in for it, in a child, as it
// binds the whole process) keeps every whole row and reports them safe.
TEST_F(PartFileTest, AFailedWriteKeepsTheWholeRows) {
    const std::string strPath = PathOf("out.csv");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limited);
        CPartFile part(strPath);
        if (part.Create() != CPartFile::EOpen::Opened) {
            _exit(10);
        }
        const std::string strRow = std::string(99, 'r') + "\n";
        std::size_t nRows = 0;
        while (part.Append(strRow, 1)) {
            ++nRows;
        }
        const bool bReported = part.Error() == "cannot write " + strPath + ".part: File too large";
        _exit(bReported && nRows == 10 && part.DurableRows() == 10 ? 0 : 11);
    }
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), 0);
    EXPECT_EQ(TestFolder::Read(strPath + ".part"), [] {
        std::string strRows;
        for (int i = 0; i < 10; ++i) {
            strRows += std::string(99, 'r') + "\n";
        }
        return strRows;
    }());
}

TEST_F(PartFileTest, ALinkLeadsThePartFileToItsTarget) {
    fs::create_directory(m_folder.Path() / "sub");
    fs::create_symlink("sub/out.csv", m_folder.Path() / "link.csv");
    CPartFile part(PathOf("link.csv"));
    ASSERT_EQ(part.Create(), CPartFile::EOpen::Opened);
    EXPECT_EQ(part.PartPath(), PathOf("sub/out.csv") + ".part");
    ASSERT_TRUE(part.Append("a\n", 1));
    ASSERT_TRUE(part.Finish());
    EXPECT_TRUE(fs::is_symlink(m_folder.Path() / "link.csv"));
    EXPECT_EQ(TestFolder::Read(PathOf("link.csv")), "a\n");
}

} // namespace
