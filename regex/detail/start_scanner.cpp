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
    }
    m_skip.fill(static_cast<std::uint8_t>(m_length));
    for (std::size_t i = 0; i + 1 < m_length; ++i) {
        const auto distance = static_cast<std::uint8_t>(m_length - 1 - i);
        m_skip[m_bytes[i]] = distance;
        if (m_icase[i])
            m_skip[other_case(m_bytes[i])] = distance;
    }
    if (m_length >= 2)
        m_ends = end_pair::of(m_bytes.data(), m_length,
                              [this](std::size_t i) { return m_icase[i] != 0; });
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

const char* start_scanner::find_by_ends(const char* from, const char* limit) const {
    for (const char* s = from; s <= limit; ++s) {
        s = pair_forward(m_ends, s, limit);
        if (s == nullptr)
            return nullptr;
        if (equal_at(reinterpret_cast<const unsigned char*>(s)))
            return s;
    }
    return nullptr;
}

} // namespace regex::detail
