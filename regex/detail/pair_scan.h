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

// One bit per place: bit i set when place i of the sixteen matched.
inline unsigned mask16(bytes16 v) {
#if defined(__SSE2__)
    using chars16 = char __attribute__((vector_size(16)));
    return static_cast<unsigned>(__builtin_ia32_pmovmskb128((chars16)v));
#else
    unsigned bits = 0;
    for (int i = 0; i < 16; ++i)
        bits |= (v[i] & 1u) << i;
    return bits;
#endif
}

// The six bytes broadcast once per search, so the loops hold them in
// registers rather than building them again for every block.
class end_vectors {
public:
    explicit end_vectors(const end_pair& e)
        : m_e(e), m_first0(bytes16{} + e.first[0]), m_first1(bytes16{} + e.first[1]),
          m_middle0(bytes16{} + e.middle[0]), m_middle1(bytes16{} + e.middle[1]),
          m_last0(bytes16{} + e.last[0]), m_last1(bytes16{} + e.last[1]) {}

    // The places among the sixteen at `s` where the three bytes match.
    unsigned hits(const char* s) const {
        const bytes16 a = load16(s);
        const bytes16 m = load16(s + m_e.middle_at);
        const bytes16 b = load16(s + m_e.distance);
        return mask16((bytes16)(((a == m_first0) | (a == m_first1)) &
                                ((m == m_middle0) | (m == m_middle1)) &
                                ((b == m_last0) | (b == m_last1))));
    }

    bool at(const char* s) const {
        const auto a = static_cast<unsigned char>(s[0]);
        const auto m = static_cast<unsigned char>(s[m_e.middle_at]);
        const auto b = static_cast<unsigned char>(s[m_e.distance]);
        return (a == m_e.first[0] || a == m_e.first[1]) &&
               (m == m_e.middle[0] || m == m_e.middle[1]) && (b == m_e.last[0] || b == m_e.last[1]);
    }

private:
    const end_pair& m_e;
    bytes16 m_first0, m_first1, m_middle0, m_middle1, m_last0, m_last1;
};

} // namespace pair_scan_detail

// The first place in [from, last] where the three bytes match, or null. The
// bytes up to last + distance must be readable.
inline const char* pair_forward(const end_pair& e, const char* from, const char* last) {
    const pair_scan_detail::end_vectors v(e);
    const char* s = from;
    for (; s <= last && last - s >= 15; s += 16) // s never passes last + 1
        if (const unsigned hits = v.hits(s))
            return s + __builtin_ctz(hits);
    for (; s <= last; ++s)
        if (v.at(s))
            return s;
    return nullptr;
}

// The last place in [first, high] where the three bytes match, or null. The
// bytes up to high + distance must be readable.
inline const char* pair_backward(const end_pair& e, const char* first, const char* high) {
    if (high < first)
        return nullptr;
    const pair_scan_detail::end_vectors v(e);
    auto n = static_cast<std::size_t>(high - first) + 1; // places left: first .. first + n - 1
    // Sixty-four places a turn while they are clean, with the lines two
    // kilobytes further down asked for early: descending streams are followed
    // late by the hardware.
    for (; n >= 64; n -= 64) {
        const char* block = first + (n - 64);
        if (n >= 64 + 2048)
            __builtin_prefetch(block - 2048);
        if (v.hits(block) | v.hits(block + 16) | v.hits(block + 32) | v.hits(block + 48))
            break;
    }
    for (; n >= 16; n -= 16) {
        const char* block = first + (n - 16);
        if (const unsigned hits = v.hits(block))
            return block + (31 - __builtin_clz(hits));
    }
    while (n > 0) {
        --n;
        if (v.at(first + n))
            return first + n;
    }
    return nullptr;
}

} // namespace regex::detail
