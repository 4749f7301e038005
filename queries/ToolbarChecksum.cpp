#include "queries/ToolbarChecksum.h"

#include <vector>

namespace {

// A value's contribution at a byte position; shifts act on the whole value.
std::uint32_t Shifted(std::int32_t nValue, unsigned nBits) {
    return static_cast<std::uint32_t>(nValue) << nBits;
}

std::uint32_t PackFour(const std::int32_t* k) {
    return Shifted(k[0], 0) + Shifted(k[1], 8) + Shifted(k[2], 16) + Shifted(k[3], 24);
}

} // namespace

std::uint32_t ZeroFillShift(std::uint32_t nValue, unsigned nCount) {
    return nValue >> nCount;
}

MixWords Mix(MixWords words) {
    auto& [a, b, c] = words;
    a = (a - b - c) ^ ZeroFillShift(c, 13);
    b = (b - c - a) ^ (a << 8);
    c = (c - a - b) ^ ZeroFillShift(b, 13);
    a = (a - b - c) ^ ZeroFillShift(c, 12);
    b = (b - c - a) ^ (a << 16);
    c = (c - a - b) ^ ZeroFillShift(b, 5);
    a = (a - b - c) ^ ZeroFillShift(c, 3);
    b = (b - c - a) ^ (a << 10);
    c = (c - a - b) ^ ZeroFillShift(b, 15);
    return words;
}

std::uint32_t HashWords(std::span<const std::int32_t> values, std::uint32_t nInitial,
                        MixWords& state) {
    auto& [a, b, c] = state;
    a = b = kGoldenRatio;
    c = nInitial;

    const std::int32_t* k = values.data();
    std::size_t nLeft = values.size();
    for (; nLeft >= 12; nLeft -= 12, k += 12) {
        a += PackFour(k);
        b += PackFour(k + 4);
        c += PackFour(k + 8);
        state = Mix(state);
    }

    c += static_cast<std::uint32_t>(values.size());
    // The tail fills a from its lowest byte, then b, then c from its second
    // byte: the lowest byte of c is taken by the length.
    for (std::size_t i = 0; i < nLeft; ++i) {
        const unsigned nBits = 8 * (i % 4);
        if (i < 4) {
            a += Shifted(k[i], nBits);
        } else if (i < 8) {
            b += Shifted(k[i], nBits);
        } else {
            c += Shifted(k[i], nBits + 8);
        }
    }
    state = Mix(state);
    return c;
}

std::array<std::int32_t, 80> SpreadBytes(const std::array<std::uint32_t, 20>& words) {
    std::array<std::int32_t, 80> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::int32_t>((words[i / 4] >> (8 * (i % 4))) & 0xFF);
    }
    return bytes;
}

std::uint32_t RefineChecksum(std::uint32_t nHash, MixWords& state) {
    std::array<std::uint32_t, 20> words;
    words[0] = ((nHash % 13) & 7) | ((nHash / 7) << 2);
    for (std::size_t i = 1; i < words.size(); ++i) {
        words[i] = words[i - 1] - 9;
    }
    const auto bytes = SpreadBytes(words);
    return HashWords(bytes, kChecksumInitial, state);
}

void ToSignedValues(std::string_view strText, std::span<std::int32_t> values) {
    for (std::size_t i = 0; i < strText.size(); ++i) {
        values[i] = static_cast<signed char>(strText[i]);
    }
}

std::uint32_t ToolbarChecksum(std::span<const std::int32_t> values, MixWords& state) {
    return RefineChecksum(HashWords(values, kChecksumInitial, state), state);
}

std::uint32_t ToolbarChecksum(std::string_view strText) {
    std::vector<std::int32_t> values(strText.size());
    ToSignedValues(strText, values);
    MixWords state{};
    return ToolbarChecksum(values, state);
}
