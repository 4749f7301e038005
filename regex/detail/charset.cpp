#include "regex/detail/charset.h"

#include "regex/bad_regexpr.h"
#include "regex/detail/char_class.h"
#include "regex/detail/escapes.h"
#include "regex/pattern_flags.h"

#include <cstring>
#include <string_view>

namespace regex::detail {

namespace {

struct shared_tables {
    byte_table d, D, s, S, w, W;
};

shared_tables build_shared_tables() {
    shared_tables t;
    for (unsigned c = 0; c < 256; ++c) {
        const auto b = static_cast<unsigned char>(c);
        if (has_class(b, cls_digit))
            t.d.set(b);
        if (has_class(b, cls_space))
            t.s.set(b);
        if (has_class(b, cls_alpha | cls_digit) || b == '_')
            t.w.set(b);
    }
    t.D = t.d;
    t.D.invert();
    t.S = t.s;
    t.S.invert();
    t.W = t.w;
    t.W.invert();
    return t;
}

[[noreturn]] void unterminated() {
    throw bad_regexpr("expecting end of character set");
}

// One item of a bracket expression.
struct item {
    enum kind_t { single, positive_class, negative_class, nested } kind = single;
    unsigned char byte = 0;
    std::uint16_t mask = 0;
    const byte_table* set = nullptr;
};

// "[:name:]" or "[:^name:]" at `cur` (which points at '['); advances past it
// on success.
bool read_named_class(const char*& cur, const char* end, item& out) {
    if (end - cur < 2 || cur[1] != ':')
        return false;
    const char* p = cur + 2;
    bool negative = false;
    if (p < end && *p == '^') {
        negative = true;
        ++p;
    }
    const char* nameBegin = p;
    while (p < end && *p != ':' && *p != ']')
        ++p;
    if (end - p < 2 || p[0] != ':' || p[1] != ']')
        return false;
    const std::uint16_t mask = class_by_name(std::string_view(nameBegin, p - nameBegin));
    if (mask == 0)
        return false;
    out.kind = negative ? item::negative_class : item::positive_class;
    out.mask = mask;
    cur = p + 2;
    return true;
}

// The escape after '\' inside brackets; `cur` points after the backslash.
item read_escape(const char*& cur, const char* end, std::uint32_t flags) {
    if (cur == end)
        unterminated();
    item it;
    const char c = *cur;
    if (c != '\0' && std::strchr("dswDSW", c) != nullptr) {
        ++cur;
        // Positive and negated class escapes alike go in as closed tables.
        it.kind = item::nested;
        it.set = &charset::shared(c);
        return it;
    }
    if (c == 'b') {
        ++cur;
        it.byte = 0x08;
        return it;
    }
    if (c >= '0' && c <= '7') {
        it.byte = read_octal(cur, end, SIZE_MAX);
        return it;
    }
    ++cur;
    if (c == 'x') {
        it.byte = read_hex(cur, end, SIZE_MAX);
        return it;
    }
    if (c == 'c') {
        if (cur == end)
            unterminated();
        it.byte = control_byte(*cur++);
        return it;
    }
    it.byte = plain_escape_byte(c, flags, true);
    return it;
}

item read_item(const char*& cur, const char* end, std::uint32_t flags) {
    item it;
    if (*cur == '[' && read_named_class(cur, end, it))
        return it;
    if (*cur == '\\') {
        ++cur;
        return read_escape(cur, end, flags);
    }
    it.byte = static_cast<unsigned char>(*cur++);
    return it;
}

void add_item(charset& set, const item& it, bool icase) {
    switch (it.kind) {
    case item::single:
        set.add_byte(it.byte, icase);
        break;
    case item::positive_class:
        set.add_class(it.mask);
        break;
    case item::negative_class:
        set.add_negated_class(it.mask);
        break;
    case item::nested:
        set.add_nested(*it.set);
        break;
    }
}

} // namespace

const byte_table& charset::shared(char letter) {
    static const shared_tables tables = build_shared_tables();
    switch (letter) {
    case 'd':
        return tables.d;
    case 'D':
        return tables.D;
    case 's':
        return tables.s;
    case 'S':
        return tables.S;
    case 'w':
        return tables.w;
    default:
        return tables.W;
    }
}

void charset::add_byte(unsigned char c, bool icase) {
    if (icase) {
        m_table.set(to_lower(c));
        m_table.set(to_upper(c));
    } else {
        m_table.set(c);
    }
}

void charset::add_range(unsigned char first, unsigned char last, bool icase) {
    if (last < first)
        throw bad_regexpr("invalid range specified in character set");
    for (unsigned c = first; c <= last; ++c)
        add_byte(static_cast<unsigned char>(c), icase);
}

byte_table charset::close() const {
    // Members: the bytes entered, the named classes, every byte outside a
    // negated class, the members of the nested sets; then the set's own
    // negation.
    byte_table result = m_table;
    for (unsigned c = 0; c < 256 && (m_pendingMask != 0 || !m_negatedMasks.empty()); ++c) {
        const auto b = static_cast<unsigned char>(c);
        if (has_class(b, m_pendingMask))
            result.set(b);
        for (auto mask : m_negatedMasks)
            if (!has_class(b, mask))
                result.set(b);
    }
    for (const byte_table* nested : m_nested)
        result.add(*nested);
    if (m_negated)
        result.invert();
    return result;
}

byte_table charset::parse(const char*& cur, const char* end, std::uint32_t flags) {
    const bool icase = (flags & ignore_case) != 0;
    bool negated = false;
    if (cur < end && *cur == '^') {
        negated = true;
        ++cur;
    }
    charset set(negated);
    // The first item may be ']' (or '-', '^'): then it is a literal byte.
    bool first = true;
    bool afterRange = false;
    while (true) {
        if (cur == end)
            unterminated();
        if (*cur == ']' && !first)
            break;
        const bool literalFirst = first && (*cur == ']' || *cur == '-' || *cur == '^');
        item it;
        if (literalFirst)
            it.byte = static_cast<unsigned char>(*cur++);
        else
            it = read_item(cur, end, flags);
        // A hyphen right after a range is literal and starts nothing.
        const bool canStartRange = !(afterRange && it.kind == item::single && it.byte == '-');
        first = false;
        afterRange = false;
        if (canStartRange && it.kind == item::single && cur < end && *cur == '-' && cur + 1 < end &&
            cur[1] != ']') {
            const char* save = cur;
            ++cur;
            const item last = read_item(cur, end, flags);
            if (last.kind == item::single) {
                set.add_range(it.byte, last.byte, icase);
                afterRange = true;
                continue;
            }
            // "a-\d": the hyphen is literal, the class follows.
            cur = save;
        }
        add_item(set, it, icase);
    }
    ++cur;
    return set.close();
}

} // namespace regex::detail
