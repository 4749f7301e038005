#include "exchange/CCsvExporter.h"
#include "tests/support/Metrics.h"

#include "QuietList.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

const std::string kHeader =
    "Domain name,PR,GSite,GSearch1,GSearch2,BSite,BSearch1,BSearch2,Alexa\r\n";
const std::string kUnscannedLine = ",,\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n";

class CsvExportTest : public testing::Test {
protected:
    QuietList m_list;
    TestFolder m_folder{"export"};

    std::string PathOf(const std::string& strName) const { return m_folder.PathOf(strName); }

    std::vector<std::string> Names() const { return m_folder.Names(); }

    std::string Export(const CCsvExporter& exporter = CCsvExporter()) {
        const std::string strPath = PathOf("list.csv");
        std::string strError;
        EXPECT_TRUE(exporter.ExportCsv(m_list.manager.Store(), strPath, &strError)) << strError;
        return TestFolder::Read(strPath);
    }
};

TEST_F(CsvExportTest, AnUnscannedRowHasEmptyFields) {
    m_list.Add("a.example");
    EXPECT_EQ(Export(), kHeader + "a.example" + kUnscannedLine);
}

TEST_F(CsvExportTest, RowsFollowTheIndexInByteOrder) {
    for (const char* pszDomain : {"c.example", "a.example", "b.example", "B.example"}) {
        m_list.Add(pszDomain);
    }
    EXPECT_EQ(Export(), kHeader + "B.example" + kUnscannedLine + "a.example" + kUnscannedLine +
                            "b.example" + kUnscannedLine + "c.example" + kUnscannedLine);
}

TEST_F(CsvExportTest, ValuesAreWrittenAsStoredInTheirColumns) {
    CDomainRecord& record = m_list.Add("a.example");
    record.SetMetric(Metric::PR, "7");
    const char* values[int(Metric::TheTen)] = {"7",   "1,234", "1,230,000", "GL", "say \"hi\"",
                                               "x,y", "3",     "BL",        "5",  ""};
    for (int i = 1; i < int(Metric::TheTen); ++i) {
        record.SetMetric(static_cast<std::size_t>(i), values[i]);
    }
    // Column order: PR, GSite, GSearch1, GSearch2, BSite, BSearch1, BSearch2, Alexa;
    // neither link count is written.
    EXPECT_EQ(Export(), kHeader + "a.example,7,\"1,230,000\",\"say \"\"hi\"\"\",\"x,y\",\"3\","
                                  "\"5\",\"\",\"1,234\"\r\n");
}

TEST_F(CsvExportTest, ARowWaitingForItsRescanKeepsItsOlderValues) {
    CDomainRecord& record = m_list.Add("a.example");
    record.SetMetric(Metric::PR, "4");
    record.SetMetric(Metric::GSite, "12");
    record.SetMetric(Metric::Alexa, "99");
    record.ResetForRescan();
    EXPECT_EQ(Export(), kHeader + "a.example,,\"12\",\"\",\"\",\"\",\"\",\"\",\"99\"\r\n");
}

TEST_F(CsvExportTest, TheCallerSuppliesTheHeaderTexts) {
    m_list.Add("a.example");
    SCsvHeader header;
    header.strDomain = "\xE5\x9F\x9F\xE5\x90\x8D";
    header.arrMetrics[Metric::GSearch2] = ""; // a text missing from a language table
    EXPECT_EQ(Export(CCsvExporter(header)),
              "\xE5\x9F\x9F\xE5\x90\x8D,PR,GSite,GSearch1,,BSite,BSearch1,BSearch2,Alexa\r\n"
              "a.example" +
                  kUnscannedLine);
}

TEST_F(CsvExportTest, TickedExtraSourcesFollowTheNineQuoted) {
    CDomainRecord& record = m_list.Add("a.example");
    record.SetMetric(Metric::PR, "3");
    record.SetMetric(Metric::Tranco, "123");
    EXPECT_EQ(Export(), kHeader + "a.example,3" + kUnscannedLine.substr(1))
        << "unticked: as before";
    CCsvExporter exporter;
    exporter.SetExtraMetrics({Metric::Tranco});
    EXPECT_EQ(Export(exporter),
              "Domain name,PR,GSite,GSearch1,GSearch2,BSite,BSearch1,BSearch2,Alexa,Tranco\r\n"
              "a.example,3,\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"123\"\r\n");
}

// A scan cut short writes only its finished rows; the header stays.
TEST_F(CsvExportTest, ARowFilterLeavesOutTheRowsItRefuses) {
    for (const char* pszDomain : {"c.example", "a.example", "b.example"}) {
        m_list.Add(pszDomain);
    }
    CCsvExporter exporter;
    exporter.SetRowFilter(
        [](const CDomainRecord& record) { return record.GetDomain() != "b.example"; });
    EXPECT_EQ(Export(exporter),
              kHeader + "a.example" + kUnscannedLine + "c.example" + kUnscannedLine);
    exporter.SetRowFilter([](const CDomainRecord&) { return false; });
    EXPECT_EQ(Export(exporter), kHeader);
}

TEST_F(CsvExportTest, AnEmptyListWritesNothingAndTouchesNoFile) {
    const std::string strKept = PathOf("kept.csv");
    TestFolder::WriteFile(strKept, "old");
    std::string strError = "unset";
    EXPECT_FALSE(CCsvExporter().ExportCsv(m_list.manager.Store(), strKept, &strError));
    EXPECT_FALSE(CCsvExporter().ExportCsv(m_list.manager.Store(), PathOf("new.csv"), &strError));
    EXPECT_EQ(strError, "");
    EXPECT_EQ(TestFolder::Read(strKept), "old");
    EXPECT_EQ(Names(), std::vector<std::string>{"kept.csv"});
}

TEST_F(CsvExportTest, ReplacesAnExistingFileAndKeepsItsPermissions) {
    m_list.Add("a.example");
    const std::string strPath = PathOf("list.csv");
    TestFolder::WriteFile(strPath, std::string(10000, 'x'));
    chmod(strPath.c_str(), 0640);
    EXPECT_EQ(Export(), kHeader + "a.example" + kUnscannedLine);
    struct stat info {};
    ASSERT_EQ(stat(strPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(Names(), std::vector<std::string>{"list.csv"});
}

// Permission bits bind everyone but root.
TEST_F(CsvExportTest, AReadOnlyFileIsNotReplaced) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write any file";
    }
    m_list.Add("a.example");
    const std::string strPath = PathOf("locked.csv");
    TestFolder::WriteFile(strPath, "old");
    chmod(strPath.c_str(), 0444);
    std::string strError;
    EXPECT_FALSE(CCsvExporter().ExportCsv(m_list.manager.Store(), strPath, &strError));
    EXPECT_EQ(strError, "cannot write " + strPath + ": Permission denied");
    EXPECT_EQ(TestFolder::Read(strPath), "old");
}

TEST_F(CsvExportTest, ALinkedNameReplacesTheLinkTarget) {
    m_list.Add("a.example");
    TestFolder::WriteFile(PathOf("target.csv"), "old");
    fs::create_symlink("target.csv", m_folder.Path() / "link.csv");
    ASSERT_TRUE(CCsvExporter().ExportCsv(m_list.manager.Store(), PathOf("link.csv")));
    EXPECT_TRUE(fs::is_symlink(m_folder.Path() / "link.csv"));
    EXPECT_EQ(TestFolder::Read(PathOf("target.csv")), kHeader + "a.example" + kUnscannedLine);
}

TEST_F(CsvExportTest, ADeviceIsWrittenInPlace) {
    m_list.Add("a.example");
    std::string strError;
    EXPECT_TRUE(CCsvExporter().ExportCsv(m_list.manager.Store(), "/dev/null", &strError))
        << strError;
}

struct ExportFailure {
    const char* pszName;
    std::string strPath;
    std::string strError;
};

// Tests run as root in CI, where permission bits stop nothing: these folders
// cannot take a file whoever writes.
TEST_F(CsvExportTest, AFileThatCannotBeWrittenIsReportedWithItsReason) {
    m_list.Add("a.example");
    TestFolder::WriteFile(PathOf("plain"), "kept");
    fs::create_directory(m_folder.Path() / "folder");
    const ExportFailure failures[] = {
        {"parent is a file", PathOf("plain/list.csv"),
         "cannot create " + PathOf("plain/list.csv") + ": Not a directory"},
        {"missing folder", PathOf("none/list.csv"),
         "cannot create " + PathOf("none/list.csv") + ": No such file or directory"},
        {"a folder", PathOf("folder"), "cannot write " + PathOf("folder") + ": Is a directory"},
        {"empty name", "", "cannot create the file: No such file or directory"},
        {"full device", "/dev/full", "cannot write /dev/full: No space left on device"},
    };
    for (const ExportFailure& failure : failures) {
        std::string strError;
        EXPECT_FALSE(CCsvExporter().ExportCsv(m_list.manager.Store(), failure.strPath, &strError))
            << failure.pszName;
        EXPECT_EQ(strError, failure.strError) << failure.pszName;
    }
    EXPECT_EQ(TestFolder::Read(PathOf("plain")), "kept");
    EXPECT_EQ(Names(), (std::vector<std::string>{"folder", "plain"}));
}

// A write that fails half-way (the file size limit stands in for a full
// disk, and binds root too) must leave the old file whole.
TEST_F(CsvExportTest, AFailedWriteLeavesTheOldFileWhole) {
    for (int i = 0; i < 20000; ++i) {
        m_list.Add("host" + std::to_string(i) + ".example");
    }
    const std::string strPath = PathOf("list.csv");
    TestFolder::WriteFile(strPath, "old contents");

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string strError;
    const bool bExported = CCsvExporter().ExportCsv(m_list.manager.Store(), strPath, &strError);
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_FALSE(bExported);
    EXPECT_EQ(strError, "cannot write " + strPath + ": File too large");
    EXPECT_EQ(TestFolder::Read(strPath), "old contents");
    EXPECT_EQ(Names(), std::vector<std::string>{"list.csv"});
}

TEST_F(CsvExportTest, WritesTheSameBytesToADescriptor) {
    m_list.Add("b.example").SetMetric(Metric::GSite, "3");
    m_list.Add("a.example");
    const std::string strFile = Export();

    const std::string strPath = PathOf("plain.csv");
    const int fd = open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(CCsvExporter().WriteCsv(m_list.manager.Store(), fd));
    close(fd);
    EXPECT_EQ(TestFolder::Read(strPath), strFile);
}

TEST_F(CsvExportTest, AFailedDescriptorWriteIsReported) {
    m_list.Add("a.example");
    const int fd = open("/dev/full", O_WRONLY);
    ASSERT_GE(fd, 0);
    std::string strError;
    EXPECT_FALSE(CCsvExporter().WriteCsv(m_list.manager.Store(), fd, &strError));
    close(fd);
    EXPECT_EQ(strError, "cannot write the list: No space left on device");
}

} // namespace
