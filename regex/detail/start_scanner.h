// The start scanner: jumps to the next place where a pattern's literal prefix
// occurs, so that the matcher is only tried where a match can begin. A prefix
// of two bytes or more is searched sixteen places at a time by its first,
// middle and last bytes (pair_scan.h) and checked in full where they match; a
// one-byte prefix is a memchr, or Horspool's skip over the byte's two cases.
#pragma once

#include "regex/detail/pair_scan.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace regex::detail {

class start_scanner {
public:
    struct unit {
        unsigned char byte; // lower-cased when icase
        bool icase;
    };

    start_scanner() = default;
    // At most 255 units are used.
    explicit start_scanner(const std::vector<unit>& prefix);

    bool empty() const { return m_length == 0; }
    std::size_t length() const { return m_length; }

    // The first position in [from, last] where the prefix occurs in full
    // (the subject ends at `end`), or null.
    const char* find(const char* from, const char* last, const char* end) const;

private:
    bool equal_at(const unsigned char* s) const;
    const char* find_by_ends(const char* from, const char* limit) const;

    std::size_t m_length = 0;
    // Only the first m_length entries of these mean anything.
    std::array<unsigned char, 255> m_bytes;
    std::array<unsigned char, 255> m_icase;
    std::array<std::uint8_t, 256> m_skip;
    bool m_anyIcase = false;
    end_pair m_ends; // the bytes a prefix of two or more is searched by
};

} // namespace regex::detail
