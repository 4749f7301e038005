#include "queries/TextHelpers.h"
#include "queries/CMd5Context.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>

using namespace std::chrono;

namespace {

struct Md5Case {
    std::string strInput;
    const char* pszDigest;
};

std::string Digits(std::size_t nLength) {
    std::string str;
    while (str.size() < nLength) {
        str += static_cast<char>('0' + str.size() % 10);
    }
    return str;
}

const Md5Case kMd5Cases[] = {
    // The test suite of RFC 1321.
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"1234567890123456789012345678901234567890"
     "1234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
    // Lengths around the padding boundary: the bit count fits in the last
    // block up to 55 bytes, from 56 on it needs one more.
    {Digits(55), "6e7a4fc92eb1c3f6e652425bcc8d44b5"},
    {Digits(56), "8af270b2847610e742b0791b53648c09"},
    {Digits(63), "c5e256437e758092dbfe06283e489019"},
    {Digits(64), "7f7bfd348709deeaace19e3f535f8c54"},
    {Digits(65), "beb9f48bc802ca5ca043bcc15e219a5a"},
    {Digits(119), "42eec8502cb0ed8f0d05aa5a24463b6a"},
    {Digits(120), "71877a6051c58e0e9246babc177ca5f2"},
};

TEST(Md5Hex, MatchesReferenceDigests) {
    for (const auto& test : kMd5Cases) {
        EXPECT_EQ(Md5Hex(test.strInput), test.pszDigest) << test.strInput.size() << " bytes";
    }
}

TEST(Md5Hex, WritesEveryByteAsTwoDigits) {
    // The empty digest holds 0x00, 0x04 and 0x09; "a" starts with 0x0c.
    EXPECT_EQ(Md5Hex(nullptr, 0), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("a", 1).substr(0, 2), "0c");
}

TEST(Md5Hex, HashesNulAndHighBytes) {
    const std::string strBytes("\0\xff\x80", 3);
    EXPECT_EQ(Md5Hex(strBytes), "4fd64cb80c3f86e1e9d0f559af8b370f");
}

TEST(CMd5Context, PiecesGiveTheSameDigestAsOneUpdate) {
    const std::string strText = Digits(200);
    for (std::size_t nPiece : {1u, 7u, 63u, 64u, 65u}) {
        CMd5Context context;
        for (std::size_t i = 0; i < strText.size(); i += nPiece) {
            const std::size_t nTake = std::min(nPiece, strText.size() - i);
            context.Update(reinterpret_cast<const std::uint8_t*>(strText.data() + i), nTake);
        }
        const auto digest = context.Final();
        std::string strHex;
        for (auto nByte : digest) {
            char sz[3];
            std::snprintf(sz, sizeof sz, "%02x", nByte);
            strHex += sz;
        }
        EXPECT_EQ(strHex, Md5Hex(strText)) << "pieces of " << nPiece;
    }
}

// A moment given in local time.
system_clock::time_point LocalMoment(int nYear, int nMonth, int nDay, int nHour, int nMinute,
                                     int nSecond) {
    std::tm local{};
    local.tm_year = nYear - 1900;
    local.tm_mon = nMonth - 1;
    local.tm_mday = nDay;
    local.tm_hour = nHour;
    local.tm_min = nMinute;
    local.tm_sec = nSecond;
    local.tm_isdst = -1;
    return system_clock::from_time_t(std::mktime(&local));
}

TEST(Timestamp, FormatsLocalTimeWithUnpaddedYearAndMilliseconds) {
    const auto tp = LocalMoment(2024, 3, 5, 7, 8, 9);
    EXPECT_EQ(FormatTimestamp(tp), "2024-03-05 07:08:09.0");
    EXPECT_EQ(FormatTimestamp(tp + milliseconds(7)), "2024-03-05 07:08:09.7");
    EXPECT_EQ(FormatTimestamp(tp + milliseconds(70)), "2024-03-05 07:08:09.70");
    EXPECT_EQ(FormatTimestamp(tp + milliseconds(999) + microseconds(999)),
              "2024-03-05 07:08:09.999");
    EXPECT_EQ(FormatTimestamp(LocalMoment(2024, 12, 31, 23, 59, 59)), "2024-12-31 23:59:59.0");
}

TEST(Timestamp, TokenIsTheDigestOfTheFormattedMillisecond) {
    const auto tp = LocalMoment(2024, 3, 5, 7, 8, 9) + milliseconds(7);
    EXPECT_EQ(MakeTimestampToken(tp), Md5Hex("2024-03-05 07:08:09.7"));
    EXPECT_EQ(MakeTimestampToken(tp + microseconds(999)), MakeTimestampToken(tp));
    EXPECT_NE(MakeTimestampToken(tp + milliseconds(1)), MakeTimestampToken(tp));
}

TEST(Timestamp, TokenOfNowIsThirtyTwoLowercaseHexDigits) {
    EXPECT_TRUE(std::regex_match(MakeTimestampToken(), std::regex("[0-9a-f]{32}")));
}

struct UrlEncodeCase {
    std::string strInput;
    const char* pszEncoded;
};

TEST(UrlEncode, KeepsOnlyLettersAndDigits) {
    const UrlEncodeCase kCases[] = {
        {"", ""},
        {"AZaz09", "AZaz09"},
        {"a.b-c", "a%2Eb%2Dc"},
        {" ", "%20"},
        {"_~/:%", "%5F%7E%2F%3A%25"},
        {"\xE4", "%E4"},
        {"\x01\x7f\xff", "%01%7F%FF"},
        {std::string("ab\0cd", 5), "ab"},
    };
    for (const auto& test : kCases) {
        EXPECT_EQ(UrlEncode(test.strInput), test.pszEncoded) << test.strInput;
    }
}

struct ReplaceCase {
    const char* pszText;
    const char* pszFind;
    const char* pszReplace;
    const char* pszResult;
};

TEST(ReplaceAll, ReplacesEveryOccurrenceWithoutRescanningInsertions) {
    const ReplaceCase kCases[] = {
        {"1,230,000", ",", "", "1230000"},
        {"aaa", "a", "aa", "aaaaaa"},
        {"7\n", "\n", "", "7"},
        {"\n\n", "\n", "", ""},
        {"", ",", "", ""},
        {"abc", "x", "y", "abc"},
        {"abab", "ab", "b", "bb"},
        {"Aa", "a", "b", "Ab"},
        // An empty text to find matches nowhere instead of looping forever.
        {"abc", "", "x", "abc"},
    };
    for (const auto& test : kCases) {
        EXPECT_EQ(ReplaceAll(test.pszText, test.pszFind, test.pszReplace), test.pszResult)
            << test.pszText << " / " << test.pszFind;
    }
}

} // namespace
