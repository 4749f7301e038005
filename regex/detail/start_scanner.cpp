#include "regex/detail/start_scanner.h"

#include "regex/detail/char_class.h"

#include <algorithm>
#include <cstring>

namespace regex::detail {

start_scanner::start_scanner(const std::vector<unit>& prefix)
    : m_length(std::min<std::size_t>(prefix.size(), 255)) {
    for (std::size_t i = 0; i < m_length; ++i) {
        m_bytes[i] = prefix[i].byte;
        m_icase[i] = prefix[i].icase && other_case(prefix[i].byte) != prefix[i].byte;
        m_anyIcase = m_anyIcase || m_icase[i];
        const unsigned char c = m_bytes[i];
        const bool punctuation = has_class(c, cls_punct) && other_case(c) == c;
        if (m_anchor < 0 && punctuation)
            m_anchor = static_cast<int>(i);
    }
    m_skip.fill(static_cast<std::uint8_t>(m_length));
    for (std::size_t i = 0; i + 1 < m_length; ++i) {
        const auto distance = static_cast<std::uint8_t>(m_length - 1 - i);
        m_skip[m_bytes[i]] = distance;
        if (m_icase[i])
            m_skip[other_case(m_bytes[i])] = distance;
    }
}

bool start_scanner::equal_at(const unsigned char* s) const {
    if (!m_anyIcase)
        return std::memcmp(s, m_bytes.data(), m_length) == 0;
    for (std::size_t i = 0; i < m_length; ++i) {
        const unsigned char c = m_icase[i] ? to_lower(s[i]) : s[i];
        if (c != m_bytes[i])
            return false;
    }
    return true;
}

const char* start_scanner::find(const char* from, const char* last, const char* end) const {
    if (from > last || end - from < static_cast<std::ptrdiff_t>(m_length))
        return nullptr;
    const char* limit = std::min(last, end - m_length);
    if (m_length == 1 && !m_icase[0]) {
        const void* hit = std::memchr(from, m_bytes[0], static_cast<std::size_t>(limit - from) + 1);
        return static_cast<const char*>(hit);
    }
    if (m_length >= 2)
        return find_by_ends(from, limit);
    if (m_anchor >= 0)
        return find_by_anchor(from, limit);
    const auto* s = reinterpret_cast<const unsigned char*>(from);
    const auto* stop = reinterpret_cast<const unsigned char*>(limit);
    const unsigned char lastByte = m_bytes[m_length - 1];
    const bool lastIcase = m_icase[m_length - 1];
    while (s <= stop) {
        const unsigned char c = s[m_length - 1];
        const unsigned char folded = lastIcase ? to_lower(c) : c;
        if (folded == lastByte && equal_at(s))
            return reinterpret_cast<const char*>(s);
        s += m_skip[c];
    }
    return nullptr;
}

namespace {

using bytes16 = unsigned char __attribute__((vector_size(16)));

bytes16 load16(const char* p) {
    bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bytes16 splat(unsigned char c) {
    bytes16 v;
    for (int i = 0; i < 16; ++i)
        v[i] = c;
    return v;
}

bool any(bytes16 v) {
    std::uint64_t halves[2];
    std::memcpy(halves, &v, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

} // namespace

const char* start_scanner::find_by_ends(const char* from, const char* limit) const {
    const std::size_t back = m_length - 1;
    const unsigned char f = m_bytes[0];
    const unsigned char l = m_bytes[back];
    const bytes16 first1 = splat(f);
    const bytes16 first2 = splat(m_icase[0] ? other_case(f) : f);
    const bytes16 last1 = splat(l);
    const bytes16 last2 = splat(m_icase[back] ? other_case(l) : l);
    const char* s = from;
    // Sixteen candidate places at a time while all their bytes are there.
    for (; limit - s >= 15; s += 16) {
        const bytes16 a = load16(s);
        const bytes16 b = load16(s + back);
        const bytes16 hits =
            (bytes16)(((a == first1) | (a == first2)) & ((b == last1) | (b == last2)));
        if (!any(hits))
            continue;
        for (int i = 0; i < 16; ++i)
            if (hits[i] && equal_at(reinterpret_cast<const unsigned char*>(s + i)))
                return s + i;
    }
    for (; s <= limit; ++s)
        if (equal_at(reinterpret_cast<const unsigned char*>(s)))
            return s;
    return nullptr;
}

const char* start_scanner::find_by_anchor(const char* from, const char* limit) const {
    const auto anchor = static_cast<std::size_t>(m_anchor);
    const char* s = from + anchor;
    const char* last = limit + anchor;
    while (s <= last) {
        const void* hit = std::memchr(s, m_bytes[anchor], static_cast<std::size_t>(last - s) + 1);
        if (hit == nullptr)
            return nullptr;
        const char* candidate = static_cast<const char*>(hit) - anchor;
        if (equal_at(reinterpret_cast<const unsigned char*>(candidate)))
            return candidate;
        s = static_cast<const char*>(hit) + 1;
    }
    return nullptr;
}

} // namespace regex::detail
