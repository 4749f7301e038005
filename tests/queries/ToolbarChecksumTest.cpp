#include "queries/ToolbarChecksum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::int32_t> SignedValues(const std::string& strText) {
    std::vector<std::int32_t> values(strText.size());
    ToSignedValues(strText, values);
    return values;
}

struct ChecksumCase {
    std::string strText;
    std::uint32_t nHash;     // HashWords with the initial value
    std::uint32_t nChecksum; // ToolbarChecksum
};

// Reference values from an independent implementation of the same steps.
const ChecksumCase kChecksumCases[] = {
    // Texts of 0 to 11 bytes take no full block.
    {"", 0xE730C238, 889567203},
    {"i", 0x9D0A7B8E, 3931240389},
    {"in", 0xF47AAD7A, 4104330980},
    {"inf", 0x34E451F5, 411926668},
    {"info", 0xB0B9E2E1, 3438131851},
    {"info:", 0x349CC2D6, 2316959404},
    {"info:a", 0xFA85CD0E, 3314522136},
    {"info:ab", 0xE011735D, 596529718},
    {"info:abc", 0x94618EE3, 55950860},
    {"info:abcd", 0x9998B372, 39865645},
    {"info:abcde", 0xC4214266, 716713656},
    {"info:abcdef", 0x61C3D426, 2794062975},
    // Exactly one block, then the length alone.
    {"info:abcdefg", 0x46146AC5, 3499449888},
    // One block and a tail.
    {"info:abcdefgh", 0xC8DA23BA, 4211821883},
    // 0xE4 enters as -28, which spreads into the bytes above it.
    {"info:\xE4", 0xC17876E2, 2763669083},
    {"info:\xE4"
     "bc",
     0x14BC28B4, 1842031022},
};

TEST(ToolbarChecksum, MatchesReferenceValues) {
    for (const auto& test : kChecksumCases) {
        MixWords state{};
        const auto values = SignedValues(test.strText);
        const std::uint32_t nHash = HashWords(values, kChecksumInitial, state);
        EXPECT_EQ(nHash, test.nHash) << test.strText;
        EXPECT_EQ(RefineChecksum(nHash, state), test.nChecksum) << test.strText;
        EXPECT_EQ(ToolbarChecksum(test.strText), test.nChecksum) << test.strText;
    }
}

TEST(ToolbarChecksum, WidensHighBytesAsNegativeValues) {
    EXPECT_EQ(SignedValues("\x7F\x80\xE4\xFF"), (std::vector<std::int32_t>{127, -128, -28, -1}));

    MixWords state{};
    const std::vector<std::int32_t> unsignedValues{'i', 'n', 'f', 'o', ':', 0xE4};
    EXPECT_NE(HashWords(unsignedValues, kChecksumInitial, state), 0xC17876E2u);
}

TEST(ToolbarChecksum, ZeroFillShiftIgnoresTheSignBit) {
    EXPECT_EQ(ZeroFillShift(0x80000000u, 31), 1u);
    EXPECT_EQ(ZeroFillShift(0xFFFFFFFFu, 1), 0x7FFFFFFFu);
    EXPECT_EQ(ZeroFillShift(0xF0000000u, 4), 0x0F000000u);
}

TEST(ToolbarChecksum, SpreadBytesEmitsLeastSignificantFirst) {
    std::array<std::uint32_t, 20> words{};
    words[0] = 0x04030201;
    words[19] = 0xFFFEFDFC;
    const auto bytes = SpreadBytes(words);
    EXPECT_EQ((std::vector<std::int32_t>(bytes.begin(), bytes.begin() + 4)),
              (std::vector<std::int32_t>{1, 2, 3, 4}));
    EXPECT_EQ((std::vector<std::int32_t>(bytes.end() - 4, bytes.end())),
              (std::vector<std::int32_t>{0xFC, 0xFD, 0xFE, 0xFF}));
}

TEST(ToolbarChecksum, HashWordsLeavesTheLastMixInTheState) {
    MixWords state{};
    const std::uint32_t nHash = HashWords(SignedValues("info:abc"), kChecksumInitial, state);
    EXPECT_EQ(state[2], nHash);
}

} // namespace
