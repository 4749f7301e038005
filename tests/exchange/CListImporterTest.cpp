#include "exchange/CListImporter.h"

#include "QuietList.h"
#include "exchange/ListFile.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace std::string_literals;
using ESkip = CListImporter::ESkip;
using Names = std::vector<std::string>;

struct SkippedLine {
    std::size_t nLine;
    ESkip reason;
    bool operator==(const SkippedLine&) const = default;
};
using Skips = std::vector<SkippedLine>;

std::ostream& operator<<(std::ostream& os, const SkippedLine& skip) {
    return os << "{line " << skip.nLine << ", reason " << static_cast<int>(skip.reason) << "}";
}

struct ImportCase {
    const char* pszName;
    std::string strBytes;
    Names added;
    Skips skipped;
};

std::ostream& operator<<(std::ostream& os, const ImportCase& c) {
    return os << c.pszName;
}

// UTF-16 text of ASCII (and a few two-byte) characters with a byte-order mark.
std::string Utf16(const std::u16string& strText, bool bBigEndian) {
    std::string strBytes = bBigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : strText) {
        const char hi = static_cast<char>(unit >> 8);
        const char lo = static_cast<char>(unit & 0xFF);
        strBytes += bBigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return strBytes;
}

class ImportTest : public testing::Test {
protected:
    QuietList m_list;
    Skips m_skips;
    CListImporter m_importer{AddTo(m_list.manager),
                             [this](std::size_t nLine, ESkip reason, std::string_view) {
                                 m_skips.push_back({nLine, reason});
                             }};
};

class ImportCaseTest : public ImportTest, public testing::WithParamInterface<ImportCase> {};

TEST_P(ImportCaseTest, AddsTheGoodLinesInOrderAndReportsTheOthers) {
    const CListImporter::SResult result = m_importer.ImportBytes(GetParam().strBytes);
    EXPECT_TRUE(result.bComplete);
    EXPECT_EQ(m_list.Added(), GetParam().added);
    EXPECT_EQ(m_skips, GetParam().skipped);
    EXPECT_EQ(result.nAdded, GetParam().added.size());
    EXPECT_EQ(result.nSkipped, GetParam().skipped.size());
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ImportCaseTest,
    testing::Values(
        ImportCase{"CrLf",
                   "a.example\r\nb.example\r\nc.example\r\n",
                   {"a.example", "b.example", "c.example"},
                   {}},
        // The last line counts without its line end.
        ImportCase{"NoFinalLineEnd",
                   "a.example\r\nb.example\r\nc.example",
                   {"a.example", "b.example", "c.example"},
                   {}},
        ImportCase{"BareLineFeeds",
                   "a.example\nb.example\nc.example\n",
                   {"a.example", "b.example", "c.example"},
                   {}},
        ImportCase{"BareCarriageReturns",
                   "a.example\rb.example\rc.example",
                   {"a.example", "b.example", "c.example"},
                   {}},
        ImportCase{"BlankLines",
                   "\n\r\na.example\n\n\n\r\r\nb.example\r\n\r\n",
                   {"a.example", "b.example"},
                   {}},
        ImportCase{"OnlyLineEnds", "\r\n\r\n\n", {}, {}}, ImportCase{"Empty", "", {}, {}},
        ImportCase{"BadLines",
                   " lead.example\nhttp://x.example/path\ntrail.example\tx\nok.example\n"
                   "trail.example\t\n",
                   {"ok.example"},
                   {{1, ESkip::NotADomain},
                    {2, ESkip::NotADomain},
                    {3, ESkip::NotADomain},
                    {5, ESkip::NotADomain}}},
        // Line numbers count CR LF, CR and LF as one line end each.
        ImportCase{"LineNumbersOfMixedEnds",
                   "x y\r\n\r\nbad line\rgood.example\n\nbad2 \n",
                   {"good.example"},
                   {{1, ESkip::NotADomain}, {3, ESkip::NotADomain}, {6, ESkip::NotADomain}}},
        ImportCase{"Duplicates",
                   "a.example\nb.example\na.example\n",
                   {"a.example", "b.example"},
                   {{3, ESkip::Duplicate}}},
        ImportCase{"CaseIsKept", "A.EXAMPLE\na.example\n", {"A.EXAMPLE", "a.example"}, {}},
        ImportCase{"Utf8MarkIsSkipped",
                   "\xEF\xBB\xBF"
                   "a.example\nb.example\n",
                   {"a.example", "b.example"},
                   {}},
        ImportCase{"Utf16LittleEndian",
                   Utf16(u"a.example\r\nb.example\r\n", false),
                   {"a.example", "b.example"},
                   {}},
        ImportCase{
            "Utf16BigEndian", Utf16(u"a.example\nb.example", true), {"a.example", "b.example"}, {}},
        ImportCase{"Utf16NonAsciiNameFails",
                   Utf16(u"b\u00FCcher.example\na.example\n", false),
                   {"a.example"},
                   {{1, ESkip::NotADomain}}},
        // Without its mark 16-bit text ends at its first zero byte, and the
        // line cut short there is not taken for a name.
        ImportCase{"Utf16WithoutMark", "a\0.\0e\0x\0\n\0"s, {}, {{1, ESkip::AfterZeroByte}}},
        ImportCase{"ZeroByteEndsTheText",
                   "a.example\r\nb.ex\0ample\nc.example\n"s,
                   {"a.example"},
                   {{2, ESkip::AfterZeroByte}}},
        ImportCase{"ZeroByteAtALineStart",
                   "a.example\n\0b.example\n"s,
                   {"a.example"},
                   {{2, ESkip::AfterZeroByte}}}),
    [](const testing::TestParamInfo<ImportCase>& info) { return info.param.pszName; });

TEST_F(ImportTest, NamesAlreadyInTheListAreSkipped) {
    m_list.manager.AddDomain("b.example");
    m_importer.ImportBytes("a.example\nb.example\nc.example\n");
    EXPECT_EQ(m_list.Added(), (Names{"b.example", "a.example", "c.example"}));
    EXPECT_EQ(m_skips, (Skips{{2, ESkip::Duplicate}}));
}

TEST_F(ImportTest, WithoutAHandlerSkipsAreOnlyCounted) {
    CListImporter importer(AddTo(m_list.manager));
    const auto result = importer.ImportBytes("bad line\ngood.example\n");
    EXPECT_EQ(result.nAdded, 1u);
    EXPECT_EQ(result.nSkipped, 1u);
}

// A declined line is passed over as if the list did not hold it: neither
// added nor skipped, whatever is wrong with it; the others are checked as
// usual, with their line numbers in the whole list.
TEST_F(ImportTest, LinesTheFilterDeclinesArePassedOverSilently) {
    const std::string strHuge(4'000'000, 'x');
    Skips skips;
    CListImporter importer(
        AddTo(m_list.manager),
        [&skips](std::size_t nLine, ESkip reason, std::string_view) {
            skips.push_back({nLine, reason});
        },
        [](std::string_view strLine) { return strLine.substr(0, 4) == "keep"; });
    const auto result =
        importer.ImportBytes("drop.example\nkeep.example\nbad line\ndrop.example\n" + strHuge +
                             " \nkeep line\nkeep.example\n");
    EXPECT_TRUE(result.bComplete);
    EXPECT_EQ(m_list.Added(), (Names{"keep.example"}));
    EXPECT_EQ(skips, (Skips{{6, ESkip::NotADomain}, {7, ESkip::Duplicate}}));
    EXPECT_EQ(result.nAdded, 1u);
    EXPECT_EQ(result.nSkipped, 2u);
}

// Long lists are matched a piece at a time; no line may be lost or split
// where one piece ends and the next begins.
TEST_F(ImportTest, ALongListArrivesWholeAndInOrder) {
    std::string strList;
    Names expected;
    for (int i = 0; strList.size() < (std::size_t{5} << 18); ++i) {
        expected.push_back("host" + std::to_string(i) + ".example");
        strList += expected.back() + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    }
    const auto result = m_importer.ImportBytes(strList);
    EXPECT_EQ(result.nAdded, expected.size());
    EXPECT_TRUE(m_skips.empty());
    EXPECT_EQ(m_list.Added(), expected);
}

// The recursive matcher may run out of depth on a huge line; the lines after
// it must still arrive.
TEST_F(ImportTest, AHugeLineDoesNotEndTheImport) {
    const std::string strHuge(4'000'000, 'a');
    const auto result = m_importer.ImportBytes("first.example\n" + strHuge + " \nlast.example\n");
    EXPECT_TRUE(result.bComplete);
    EXPECT_EQ(m_list.Added(), (Names{"first.example", "last.example"}));
    ASSERT_EQ(m_skips.size(), 1u);
    EXPECT_EQ(m_skips[0].nLine, 2u);
}

class ImportFileTest : public ImportTest {
protected:
    TestFolder m_folder{"import"};
};

TEST_F(ImportFileTest, ReadsAFileWhole) {
    const auto result = m_importer.ImportFile(m_folder.Write("list.txt", "a.example\r\nb.example"));
    EXPECT_TRUE(result.bComplete);
    EXPECT_EQ(m_list.Added(), (Names{"a.example", "b.example"}));
}

TEST_F(ImportFileTest, ReadsADescriptorToItsEnd) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string strList = "a.example\nb.example\n";
    ASSERT_EQ(write(fds[1], strList.data(), strList.size()), static_cast<ssize_t>(strList.size()));
    close(fds[1]);
    const auto result = m_importer.ImportDescriptor(fds[0]);
    close(fds[0]);
    EXPECT_TRUE(result.bComplete);
    EXPECT_EQ(m_list.Added(), (Names{"a.example", "b.example"}));
}

struct ReadFailure {
    const char* pszName;
    std::string strPath; // relative to the test folder
    const char* pszReason;
};

TEST_F(ImportFileTest, AFileThatCannotBeReadAddsNothingAndSaysWhy) {
    m_folder.Write("plain", "x\n");
    std::filesystem::create_directory(m_folder.Path() / "folder");
    const ReadFailure failures[] = {
        {"missing", "missing.txt", "No such file or directory"},
        {"folder", "folder", "Is a directory"},
        {"below a file", "plain/list.txt", "Not a directory"},
    };
    for (const ReadFailure& failure : failures) {
        const auto result = m_importer.ImportFile(m_folder.PathOf(failure.strPath));
        EXPECT_FALSE(result.bComplete) << failure.pszName;
        EXPECT_EQ(result.strError, failure.pszReason) << failure.pszName;
    }
    EXPECT_TRUE(m_list.Added().empty());
}

TEST_F(ImportFileTest, AListTooLargeIsRefusedWithAClearError) {
    const std::string strPath = m_folder.Write("big.txt", std::string(3 << 20, 'a'));
    std::string strBytes;
    std::string strError;
    EXPECT_FALSE(ReadListFile(strPath, strBytes, strError, std::size_t{2} << 20));
    EXPECT_EQ(strError, "the list is too large to import (more than 2 MiB)");
    EXPECT_TRUE(strBytes.empty());

    // A pipe has no size to look at first; the limit holds all the same.
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread feeder([&] {
        std::string strChunk(1 << 16, 'b');
        for (int i = 0; i < 64 && write(fds[1], strChunk.data(), strChunk.size()) > 0; ++i) {
        }
        close(fds[1]);
    });
    EXPECT_FALSE(ReadListBytes(fds[0], strBytes, strError, std::size_t{2} << 20));
    close(fds[0]);
    feeder.join();
    EXPECT_EQ(strError, "the list is too large to import (more than 2 MiB)");
}

struct DecodeCase {
    const char* pszName;
    std::string strBytes;
    std::string strText;
    std::size_t nZeroAt;
};

class DecodeListTextTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeListTextTest, GivesTheEightBitText) {
    std::size_t nZeroAt = 0;
    EXPECT_EQ(DecodeListText(GetParam().strBytes, &nZeroAt), GetParam().strText);
    EXPECT_EQ(nZeroAt, GetParam().nZeroAt);
}

constexpr std::size_t npos = std::string::npos;

INSTANTIATE_TEST_SUITE_P(
    Bytes, DecodeListTextTest,
    testing::Values(
        DecodeCase{"Plain", "a\r\nb", "a\r\nb", npos},
        DecodeCase{"Latin1Kept", "\xE4.example", "\xE4.example", npos},
        DecodeCase{"Utf8Mark", "\xEF\xBB\xBFx", "x", npos},
        DecodeCase{"Utf8MarkOnlyAtTheStart", "x\xEF\xBB\xBF", "x\xEF\xBB\xBF", npos},
        DecodeCase{"Utf16Le", Utf16(u"ab\n", false), "ab\n", npos},
        DecodeCase{"Utf16Be", Utf16(u"ab\n", true), "ab\n", npos},
        DecodeCase{"Utf16TwoAndThreeBytes", Utf16(u"\u00FC\u4E2D", false), "\xC3\xBC\xE4\xB8\xAD",
                   npos},
        DecodeCase{"Utf16SurrogatePair", Utf16(u"\U0001F600", false), "\xF0\x9F\x98\x80", npos},
        DecodeCase{"Utf16LoneSurrogate", Utf16(std::u16string{0xD800, u'a'}, false),
                   "\xEF\xBF\xBD"
                   "a",
                   npos},
        DecodeCase{"Utf16OddLastByte", Utf16(u"ab", false) + "c", "ab", npos},
        DecodeCase{"Utf16ZeroUnit", Utf16(std::u16string{u'a', 0, u'b'}, false), "a", 1},
        DecodeCase{"ZeroByte", "ab\0cd"s, "ab", 2}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.pszName; });

} // namespace
