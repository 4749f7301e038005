#include "fuzz/pattern_generator.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace regex_check {

namespace {

constexpr int max_depth = 4;
constexpr int max_items = 24;

// Literal bytes: letters in both cases, a blank, punctuation, GBK-like high
// bytes, hex and octal escapes; no digits, which could extend a
// back-reference's number or an escape's.
constexpr std::array<std::string_view, 18> literals{
    "a",    "b",    "A",   "B",   "c",    " ",     "-",     "_",   ",",
    "\xb8", "\xe9", "\\.", "\\{", "\\\\", "\\x41", "\\x2D", "\\0", "\\012"};
constexpr std::array<std::string_view, 3> control_escapes{"\\n", "\\r", "\\t"};
constexpr std::array<std::string_view, 6> class_escapes{"\\d", "\\D", "\\w", "\\W", "\\s", "\\S"};
constexpr std::array<std::string_view, 7> assertions{"^", "$", "\\A", "\\Z", "\\z", "\\b", "\\B"};
// [:upper:] and [:lower:] are left out: PCRE2 folds them under ignore_case.
constexpr std::array<std::string_view, 8> named_classes{"[:alpha:]",  "[:digit:]", "[:space:]",
                                                        "[:punct:]",  "[:alnum:]", "[:^alpha:]",
                                                        "[:^space:]", "[:xdigit:]"};
constexpr std::array<std::string_view, 10> set_literals{"a",    "b",   "B",   " ",   ",",
                                                        "\xb8", "\\]", "\\-", "\\^", "\\\\"};
constexpr std::array<std::string_view, 4> set_ranges{"a-c", "A-Z", "\\x80-\\xff", " -,"};
// Inline flags never switch m on: PCRE2 then lets ^ match after a final line
// feed only when multiline came from its compile options.
constexpr std::array<std::string_view, 8> inline_flags{"(?i)",  "(?-i)",  "(?s)",  "(?-s)",
                                                       "(?-m)", "(?i-s)", "(?is)", "(?-ims)"};
constexpr std::array<std::string_view, 8> group_openings{"(",    "(",     "(?:",  "(?>",
                                                         "(?i:", "(?-i:", "(?s:", "(?-ms:"};

template <std::size_t N>
std::string pick(FuzzedDataProvider& input, const std::array<std::string_view, N>& from) {
    return std::string(from[input.ConsumeIntegralInRange<std::size_t>(0, N - 1)]);
}

} // namespace

pattern_generator::pattern_generator(FuzzedDataProvider& input, bool normalize)
    : m_input(input), m_normalize(normalize) {}

std::string pattern_generator::generate() {
    return alternatives(0);
}

bool pattern_generator::budget_left() const {
    return m_items < max_items && m_input.remaining_bytes() > 0;
}

std::string pattern_generator::alternatives(int depth) {
    std::string out = sequence(depth);
    for (int n = m_input.ConsumeIntegralInRange(0, 2); n > 0 && budget_left(); --n)
        out += "|" + sequence(depth);
    return out;
}

std::string pattern_generator::sequence(int depth) {
    std::string out;
    for (int n = m_input.ConsumeIntegralInRange(0, 4); n > 0 && budget_left(); --n)
        out += item(depth);
    return out;
}

std::string pattern_generator::item(int depth) {
    ++m_items;
    switch (m_input.ConsumeIntegralInRange(0, 9)) {
    case 0:
        return assertion();
    case 1:
        return pick(m_input, inline_flags);
    default:
        break;
    }
    bool repeatable = true;
    bool holdsRepetition = false;
    std::string out = atom(depth, repeatable, holdsRepetition);
    if (repeatable && m_input.ConsumeBool()) {
        out += quantifier(out.back() == ')');
        if (holdsRepetition)
            m_nestedRepetition = true;
    }
    return out;
}

std::string pattern_generator::atom(int depth, bool& repeatable, bool& holdsRepetition) {
    switch (m_input.ConsumeIntegralInRange(0, 7)) {
    case 0:
        return ".";
    case 1:
        return class_escape();
    case 2:
        return bracket_set();
    case 3:
        if (m_closedCaptures > 0)
            return "\\" + std::to_string(m_input.ConsumeIntegralInRange(1, m_closedCaptures));
        return literal();
    case 4:
    case 5:
        if (depth < max_depth)
            return group(depth + 1, repeatable, holdsRepetition);
        return literal();
    default:
        return literal();
    }
}

// A group of any kind; assertions and conditionals are not repeatable.
std::string pattern_generator::group(int depth, bool& repeatable, bool& holdsRepetition) {
    switch (m_input.ConsumeIntegralInRange(0, 9)) {
    case 0:
        repeatable = false;
        return lookahead(depth, m_input.ConsumeBool());
    case 1:
        repeatable = false;
        return lookbehind();
    case 2:
        repeatable = false;
        return conditional(depth);
    default:
        break;
    }
    std::string opening = pick(m_input, group_openings);
    if (m_captureFree > 0 && opening == "(")
        opening = "(?:";
    const bool capturing = opening == "(";
    const int number = capturing ? ++m_openCaptures : 0;
    std::string body = alternatives(depth);
    // An extension group with nothing in it produces no node in the engine,
    // and a quantifier after it would then have nothing to repeat.
    if (!capturing && body.empty())
        body = literal();
    holdsRepetition = body.find_first_of("*+?{") != std::string::npos;
    if (capturing && number > m_closedCaptures && number <= 9)
        m_closedCaptures = number;
    return opening + body + ")";
}

std::string pattern_generator::lookahead(int depth, bool positive) {
    std::string body = alternatives(depth);
    // (?=) and (?!) mean nothing to the engine and something to PCRE2.
    if (body.empty())
        body = literal();
    return (positive ? "(?=" : "(?!") + body + ")";
}

// Look-behinds hold no captures, so that trying the farthest start first and
// trying the first alternative first give the same answer.
std::string pattern_generator::lookbehind() {
    std::string out = m_input.ConsumeBool() ? "(?<=" : "(?<!";
    for (int alternative = m_input.ConsumeIntegralInRange(1, 2); alternative > 0; --alternative) {
        if (m_input.ConsumeIntegralInRange(0, 5) == 0)
            out += "^";
        for (int n = m_input.ConsumeIntegralInRange(1, 3); n > 0; --n)
            out += fixed_width_atom();
        if (alternative > 1)
            out += "|";
    }
    return out + ")";
}

std::string pattern_generator::conditional(int depth) {
    std::string condition;
    if (m_input.ConsumeBool()) {
        // PCRE2 keeps the groups a failed negative condition set; the engine
        // restores them.
        const bool positive = m_input.ConsumeBool();
        m_captureFree += positive ? 0 : 1;
        condition = lookahead(depth, positive);
        m_captureFree -= positive ? 0 : 1;
    } else {
        condition = lookbehind();
    }
    std::string out = "(?" + condition + sequence(depth);
    if (m_input.ConsumeBool())
        out += "|" + sequence(depth);
    return out + ")";
}

std::string pattern_generator::fixed_width_atom() {
    std::string out;
    switch (m_input.ConsumeIntegralInRange(0, 3)) {
    case 0:
        out = ".";
        break;
    case 1:
        out = class_escape();
        break;
    case 2:
        out = bracket_set();
        break;
    default:
        out = literal();
        break;
    }
    if (m_input.ConsumeIntegralInRange(0, 4) == 0)
        out += "{" + std::to_string(m_input.ConsumeIntegralInRange(1, 2)) + "}";
    return out;
}

std::string pattern_generator::literal() {
    if (m_normalize && m_input.ConsumeIntegralInRange(0, 5) == 0)
        return pick(m_input, control_escapes);
    return pick(m_input, literals);
}

std::string pattern_generator::class_escape() {
    return pick(m_input, class_escapes);
}

std::string pattern_generator::bracket_set() {
    std::string out = m_input.ConsumeBool() ? "[^" : "[";
    for (int n = m_input.ConsumeIntegralInRange(1, 3); n > 0; --n) {
        std::string item = set_item();
        // Inside brackets the engine's \x takes every hex digit that follows,
        // PCRE2's two at most: a hex escape is written only before the ].
        if (n > 1 && item.find("\\x") != std::string::npos)
            item = "\x80-\xff";
        out += item;
    }
    return out + "]";
}

std::string pattern_generator::set_item() {
    switch (m_input.ConsumeIntegralInRange(0, 5)) {
    case 0:
        return pick(m_input, named_classes);
    case 1:
        return pick(m_input, class_escapes);
    case 2:
        return pick(m_input, set_ranges);
    case 3:
        if (m_normalize)
            return pick(m_input, control_escapes);
        return "c";
    default:
        return pick(m_input, set_literals);
    }
}

// Bounds never have a maximum of 0: PCRE2 lets a group repeated {0} times
// steer its start shortcuts. A group's bounds stay at 0 or 1: after an
// iteration that matched the empty string the engine goes on after the
// repetition, where PCRE2 tries the further iterations a bound asks for, so a
// later backtrack leaves other groups.
std::string pattern_generator::quantifier(bool ofGroup) {
    std::string out;
    const int low = m_input.ConsumeIntegralInRange(0, ofGroup ? 1 : 2);
    const int high = ofGroup ? 1 : std::max(low, 1) + m_input.ConsumeIntegralInRange(0, 2);
    switch (m_input.ConsumeIntegralInRange(0, 5)) {
    case 0:
        out = "*";
        break;
    case 1:
        out = "+";
        break;
    case 2:
        out = "?";
        break;
    case 3:
        out = "{" + std::to_string(high) + "}";
        break;
    case 4:
        out = "{" + std::to_string(low) + ",}";
        break;
    default:
        out = "{" + std::to_string(low) + "," + std::to_string(high) + "}";
        break;
    }
    if (m_input.ConsumeBool())
        out += "?";
    return out;
}

std::string pattern_generator::assertion() {
    return pick(m_input, assertions);
}

} // namespace regex_check
