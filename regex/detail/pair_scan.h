// Searching for places where a literal's first, middle and last bytes all
// match. Sixteen places are tested at a time, so a search runs at memory speed
// and stops almost only where the literal really stands (the first and last
// bytes alone, "<" and "=" of "<div id=", would stop at every "<a href=");
// the caller then checks the literal in full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "regex/detail/char_class.h"

namespace regex::detail {

struct end_pair {
    unsigned char first[2] = {0, 0}; // the first byte, in both letter cases
    unsigned char middle[2] = {0, 0};
    unsigned char last[2] = {0, 0};
    std::size_t middle_at = 0; // offsets from the first byte
    std::size_t distance = 0;

    // The ends of the literal `bytes` (lower-cased where `icase` says).
    template <class IcaseAt>
    static end_pair of(const unsigned char* bytes, std::size_t length, IcaseAt icase) {
        end_pair e;
        const std::size_t at[3] = {0, length / 2, length - 1};
        unsigned char* slots[3] = {e.first, e.middle, e.last};
        for (int k = 0; k < 3; ++k) {
            const unsigned char c = bytes[at[k]];
            slots[k][0] = c;
            slots[k][1] = icase(at[k]) ? other_case(c) : c;
        }
        e.middle_at = at[1];
        e.distance = at[2];
        return e;
    }
};

namespace pair_scan_detail {

using bytes16 = unsigned char __attribute__((vector_size(16)));

inline bytes16 load16(const char* p) {
    bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline bytes16 splat(unsigned char c) {
    bytes16 v;
    for (int i = 0; i < 16; ++i)
        v[i] = c;
    return v;
}

// The places among the sixteen at `s` where both ends match, as a vector of
// 0xFF and 0 bytes.
inline bytes16 hits16(const end_pair& e, const char* s) {
    const bytes16 a = load16(s);
    const bytes16 m = load16(s + e.middle_at);
    const bytes16 b = load16(s + e.distance);
    return (bytes16)(((a == splat(e.first[0])) | (a == splat(e.first[1]))) &
                     ((m == splat(e.middle[0])) | (m == splat(e.middle[1]))) &
                     ((b == splat(e.last[0])) | (b == splat(e.last[1]))));
}

inline bool any(bytes16 v) {
    std::uint64_t halves[2];
    std::memcpy(halves, &v, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

inline bool ends_at(const end_pair& e, const char* s) {
    const auto a = static_cast<unsigned char>(s[0]);
    const auto m = static_cast<unsigned char>(s[e.middle_at]);
    const auto b = static_cast<unsigned char>(s[e.distance]);
    return (a == e.first[0] || a == e.first[1]) && (m == e.middle[0] || m == e.middle[1]) &&
           (b == e.last[0] || b == e.last[1]);
}

} // namespace pair_scan_detail

// The first place in [from, last] where both ends match, or null. The bytes
// up to last + distance must be readable.
inline const char* pair_forward(const end_pair& e, const char* from, const char* last) {
    using namespace pair_scan_detail;
    const char* s = from;
    for (; s <= last && last - s >= 15; s += 16) { // s never passes last + 1
        const bytes16 hits = hits16(e, s);
        if (!any(hits))
            continue;
        for (int i = 0; i < 16; ++i)
            if (hits[i])
                return s + i;
    }
    for (; s <= last; ++s)
        if (ends_at(e, s))
            return s;
    return nullptr;
}

// The last place in [first, high] where both ends match, or null. The bytes
// up to high + distance must be readable.
inline const char* pair_backward(const end_pair& e, const char* first, const char* high) {
    using namespace pair_scan_detail;
    if (high < first)
        return nullptr;
    auto n = static_cast<std::size_t>(high - first) + 1; // places left: first .. first + n - 1
    // Sixty-four places a turn while they are clean, with the lines two
    // kilobytes further down asked for early: descending streams are followed
    // late by the hardware.
    for (; n >= 64; n -= 64) {
        const char* block = first + (n - 64);
        if (n >= 64 + 2048)
            __builtin_prefetch(block - 2048);
        if (any(hits16(e, block) | hits16(e, block + 16) | hits16(e, block + 32) |
                hits16(e, block + 48)))
            break;
    }
    for (; n >= 16; n -= 16) {
        const char* block = first + (n - 16);
        const bytes16 hits = hits16(e, block);
        if (!any(hits))
            continue;
        for (int i = 15; i >= 0; --i)
            if (hits[i])
                return block + i;
    }
    while (n > 0) {
        --n;
        if (ends_at(e, first + n))
            return first + n;
    }
    return nullptr;
}

} // namespace regex::detail
