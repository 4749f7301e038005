#include "exchange/CReplacingFile.h"

#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The folder's answer to a new file, whoever asks (root included, whom
// permission bits do not stop).
int g_nRefusal = 0;
int RefuseNewFile(const char*) {
    errno = g_nRefusal;
    return -1;
}

class ReplacingFileTest : public testing::Test {
protected:
    TestFolder m_folder{"replace"};

    void TearDown() override { CReplacingFile::SetTempOpener(nullptr); }

    void RefuseNewFiles(int nErrno) {
        g_nRefusal = nErrno;
        CReplacingFile::SetTempOpener(RefuseNewFile);
    }

    std::string PathOf(const std::string& strName) const { return m_folder.PathOf(strName); }

    std::vector<std::string> Names() const { return m_folder.Names(); }

    static ino_t InodeOf(const std::string& strPath) {
        struct stat info {};
        return stat(strPath.c_str(), &info) == 0 ? info.st_ino : 0;
    }

    // Writes bytes through a CReplacingFile; answers its error, empty on success.
    static std::string Replace(const std::string& strPath, const std::string& strBytes) {
        CReplacingFile file(strPath);
        if (file.Open() && file.Write(strBytes) && file.Commit()) {
            return {};
        }
        return file.Error().empty() ? "failed without a reason" : file.Error();
    }
};

struct SRefusal {
    const char* pszName;
    int nErrno;
};

// A folder that takes no new file (no write permission, a read-only mount,
// an immutable folder) still lets a writable file in it be rewritten.
TEST_F(ReplacingFileTest, AFolderThatRefusesNewFilesGetsTheFileWrittenInPlace) {
    const SRefusal refusals[] = {
        {"no permission", EACCES},
        {"read-only file system", EROFS},
        {"not permitted", EPERM},
    };
    for (const SRefusal& refusal : refusals) {
        const std::string strPath =
            m_folder.Write("list.csv", "old contents, longer than the new ones");
        const ino_t nInode = InodeOf(strPath);
        RefuseNewFiles(refusal.nErrno);
        EXPECT_EQ(Replace(strPath, "new"), "") << refusal.pszName;
        EXPECT_EQ(TestFolder::Read(strPath), "new") << refusal.pszName;
        EXPECT_EQ(InodeOf(strPath), nInode) << refusal.pszName;
        EXPECT_EQ(Names(), std::vector<std::string>{"list.csv"}) << refusal.pszName;
    }
}

TEST_F(ReplacingFileTest, AHardLinkSharesTheContentsAfterAnInPlaceWrite) {
    const std::string strPath = m_folder.Write("list.csv", "old");
    fs::create_hard_link(strPath, PathOf("other-name.csv"));
    RefuseNewFiles(EACCES);
    EXPECT_EQ(Replace(strPath, "new contents"), "");
    EXPECT_EQ(TestFolder::Read(PathOf("other-name.csv")), "new contents");
    EXPECT_EQ(fs::hard_link_count(strPath), 2u);
}

TEST_F(ReplacingFileTest, AMissingFileInAFolderThatRefusesNewFilesIsReported) {
    const std::string strPath = PathOf("list.csv");
    RefuseNewFiles(EACCES);
    EXPECT_EQ(Replace(strPath, "new"), "cannot create " + strPath + ": Permission denied");
    EXPECT_TRUE(Names().empty());
}

// Only a refusal of the folder is worked round; any other failure to make the
// file beside the target is the export's failure, and the old file stays.
TEST_F(ReplacingFileTest, OtherFailuresToMakeTheNewFileLeaveTheOldOne) {
    const SRefusal failures[] = {
        {"disk full", ENOSPC},
        {"too many open files", EMFILE},
    };
    for (const SRefusal& failure : failures) {
        const std::string strPath = m_folder.Write("list.csv", "old");
        RefuseNewFiles(failure.nErrno);
        EXPECT_EQ(Replace(strPath, "new"),
                  "cannot create " + strPath + ": " + std::strerror(failure.nErrno))
            << failure.pszName;
        EXPECT_EQ(TestFolder::Read(strPath), "old") << failure.pszName;
    }
}

// The file size limit stands in for a full disk, and binds root too: the
// room for the new bytes is asked for before any old byte is touched.
TEST_F(ReplacingFileTest, AFailedInPlaceWriteIsReportedAndLeavesTheOldFileWhole) {
    const std::string strOld = "old rows\r\n" + std::string(500, 'o');
    const std::string strPath = m_folder.Write("list.csv", strOld);
    RefuseNewFiles(EACCES);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::string strError = Replace(strPath, std::string(4096, 'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(strError,
              "cannot write " + strPath + ": File too large; " + strPath + " is left as it was");
    EXPECT_EQ(TestFolder::Read(strPath), strOld);
}

// The new bytes may be shorter or longer than the old ones.
TEST_F(ReplacingFileTest, AnInPlaceWriteTakesTheNewLength) {
    for (const std::string& strNew : {std::string("short"), std::string(100000, 'n')}) {
        const std::string strPath = m_folder.Write("list.csv", std::string(3000, 'o'));
        RefuseNewFiles(EACCES);
        EXPECT_EQ(Replace(strPath, strNew), "");
        EXPECT_EQ(TestFolder::Read(strPath), strNew);
    }
}

// A dangling link is written through: the file is made where it points.
TEST_F(ReplacingFileTest, ADanglingLinkGetsItsTargetMade) {
    fs::create_directory(m_folder.Path() / "sub");
    fs::create_symlink("sub/target.csv", m_folder.Path() / "link.csv");
    EXPECT_EQ(Replace(PathOf("link.csv"), "new"), "");
    EXPECT_TRUE(fs::is_symlink(m_folder.Path() / "link.csv"));
    EXPECT_EQ(TestFolder::Read(PathOf("sub/target.csv")), "new");
}

// A program that must end at once leaves no half-written copy behind.
TEST_F(ReplacingFileTest, TemporaryFilesInFlightCanBeRemoved) {
    const std::string strPath = m_folder.Write("list.csv", "old");
    CReplacingFile file(strPath);
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Write("half"));
    EXPECT_EQ(Names().size(), 2u);
    CReplacingFile::RemoveTemporaryFiles();
    EXPECT_EQ(Names(), std::vector<std::string>{"list.csv"});
    EXPECT_EQ(TestFolder::Read(strPath), "old");
}

// The real thing, where permission bits bind.
TEST_F(ReplacingFileTest, AWritableFileInAReadOnlyFolderIsRewritten) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may create files in any folder; the refusals above stand in";
    }
    const std::string strPath = m_folder.Write("list.csv", "old");
    ASSERT_EQ(chmod(m_folder.Path().c_str(), 0555), 0);
    const std::string strError = Replace(strPath, "new");
    const std::string strMissing = Replace(PathOf("missing.csv"), "new");
    chmod(m_folder.Path().c_str(), 0755);
    EXPECT_EQ(strError, "");
    EXPECT_EQ(TestFolder::Read(strPath), "new");
    EXPECT_EQ(strMissing, "cannot create " + PathOf("missing.csv") + ": Permission denied");
    EXPECT_EQ(Names(), std::vector<std::string>{"list.csv"});
}

} // namespace
