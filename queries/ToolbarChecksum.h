#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

// The checksum that a toolbar PageRank request carries in its "ch" key: a
// two-stage lookup2 hash of the queried text. All arithmetic is on unsigned
// 32-bit words and wraps.

inline constexpr std::uint32_t kGoldenRatio = 0x9E3779B9;
inline constexpr std::uint32_t kChecksumInitial = 0xE6359A60;

// The a, b, c words of the hash; the hash functions work in a caller's buffer.
using MixWords = std::array<std::uint32_t, 3>;

// nValue shifted right by nCount (1 to 31), zeros entering from the left.
std::uint32_t ZeroFillShift(std::uint32_t nValue, unsigned nCount);

MixWords Mix(MixWords words);

// lookup2 over full 32-bit values: a value outside 0..255 spreads into the
// neighbouring bytes. state holds the words of the last Mix afterwards.
std::uint32_t HashWords(std::span<const std::int32_t> values, std::uint32_t nInitial,
                        MixWords& state);

// The four bytes of each word, least significant first.
std::array<std::int32_t, 80> SpreadBytes(const std::array<std::uint32_t, 20>& words);

// The second stage: HashWords over twenty words derived from nHash.
std::uint32_t RefineChecksum(std::uint32_t nHash, MixWords& state);

// Each byte of strText as a signed 8-bit value widened to 32 bits (0xE4 is
// -28); values must hold strText.size() entries.
void ToSignedValues(std::string_view strText, std::span<std::int32_t> values);

// The checksum of a text already widened by ToSignedValues, in the caller's
// buffers.
std::uint32_t ToolbarChecksum(std::span<const std::int32_t> values, MixWords& state);
// The same with buffers of its own.
std::uint32_t ToolbarChecksum(std::string_view strText);
