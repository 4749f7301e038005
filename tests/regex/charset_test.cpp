// Bracket expressions and class escapes: the members of each set, byte by
// byte over all 256 values, through both matchers.
#include "regex_test_support.h"

#include <gtest/gtest.h>

#include <bitset>
#include <functional>
#include <string>

namespace {

using members = std::bitset<256>;

members of(std::string_view bytes) {
    members m;
    for (unsigned char c : bytes)
        m.set(c);
    return m;
}

members range(unsigned first, unsigned last) {
    members m;
    for (unsigned c = first; c <= last; ++c)
        m.set(c);
    return m;
}

const members digits = range('0', '9');
const members upper = range('A', 'Z');
const members lower = range('a', 'z');
const members spaces = of(" \t\n\v\f\r");

struct set_row {
    std::string set;
    members expected;
    std::uint32_t flags = regex::noflags;
};

void PrintTo(const set_row& row, std::ostream* os) {
    *os << '"' << regex_test::printable(row.set) << "\" flags " << row.flags;
}

const set_row set_rows[] = {
    // A closing bracket, hyphen or caret where it cannot be syntax.
    {"[]a]", of("]a")},
    {"[^]]", ~of("]")},
    {"[a-]", of("a-")},
    {"[-a]", of("a-")},
    {"[^^]", ~of("^")},
    {"[a^]", of("a^")},
    {"[--/]", of("-./")},
    {"[a-c-e]", of("abc-e")},
    {"[\\w-]", upper | lower | digits | of("_-")},
    {"[0-9a-zA-Z\\.-]", upper | lower | digits | of(".-")},
    // Escapes giving a byte.
    {"[\\x41-\\x43]", of("ABC")},
    {"[\\x4]", of("\x04")},
    {"[\\x414]", of("\x14")},
    {"[\\x]", of(std::string_view("\0", 1))},
    {"[\\101\\0]", of(std::string_view("A\0", 2))},
    {"[\\1010]", of("\x08")},
    {"[\\b]", of("\x08")},
    {"[\\e]", of("\x1b")},
    {"[\\cA\\cz]", of("\x01\x1a")},
    {"[\\.\\]\\-\\^]", of(".]-^")},
    {"[\\n\\t]", of("nt")},
    {"[\\a\\f\\n\\r\\t\\v\\\\]", of("\a\f\n\r\t\v\\"), regex::normalize},
    {"[\\v]", of("v")},
    // Class escapes, inside and outside brackets.
    {"\\d", digits},
    {"\\D", ~digits},
    {"\\s", spaces},
    {"\\S", ~spaces},
    {"\\w", upper | lower | digits | of("_")},
    {"\\W", ~(upper | lower | digits | of("_"))},
    {"[\\d_]", digits | of("_")},
    {"[^\\D]", digits},
    {"[\\W\\d]", ~(upper | lower | of("_"))},
    {"[^\\s\\d]", ~(spaces | digits)},
    // Named classes, positive and negated.
    {"[[:alpha:][:digit:]]", upper | lower | digits},
    {"[[:alnum:]]", upper | lower | digits},
    {"[[:blank:]]", of(" \t")},
    {"[[:space:]]", spaces},
    {"[[:xdigit:]]", digits | of("abcdefABCDEF")},
    {"[[:punct:]]", range(0x21, 0x7e) & ~(upper | lower | digits)},
    {"[[:cntrl:]]", range(0, 0x1f) | of("\x7f")},
    {"[[:print:]]", range(0x20, 0x7e)},
    {"[[:graph:]]", range(0x21, 0x7e)},
    {"[[:^digit:]]", ~digits},
    {"[[:^alpha:][:lower:]]", ~upper},
    {"[x[:^alpha:]]", ~(upper | lower) | of("x")},
    // Letter case: bytes and ranges fold, classes do not.
    {"[a-c]", of("abcABC"), regex::ignore_case},
    {"[^a]", ~of("aA"), regex::ignore_case},
    {"[[:upper:]]", upper, regex::ignore_case},
    {"[0-9a-zA-Z]", upper | lower | digits, regex::ignore_case},
    {"[Z-a]", of("Z[\\]^_`a") | of("zA"), regex::ignore_case},
    // High bytes are members only when written, covered by a range or negated in.
    {"[^0-9]", ~digits},
    {"[\\x80-\\xff]", range(0x80, 0xff)},
    {"[\xb8\xf6]", of("\xb8\xf6"), regex::ignore_case},
    {"[[:alpha:][:punct:][:space:]]", (range(0x21, 0x7e) & ~digits) | spaces},
    {".", ~of("\n")},
    {".", ~members(), regex::single_line},
};

class SetMembers : public testing::TestWithParam<std::tuple<set_row, regex::match_mode>> {};

TEST_P(SetMembers, HoldExactlyTheirBytes) {
    const auto& [row, mode] = GetParam();
    const regex::compiled_pattern pattern("\\A" + row.set + "\\z", row.flags, mode);
    regex::match_backrefs results;
    std::string wrong;
    for (unsigned c = 0; c < 256; ++c) {
        const char byte = static_cast<char>(c);
        const bool member = regex::run_match(pattern, results, &byte, &byte + 1);
        if (member != row.expected.test(c))
            wrong += regex_test::printable(std::string(1, byte)) + (member ? "+ " : "- ");
    }
    EXPECT_EQ(wrong, "") << "bytes wrongly in (+) or out (-) of the set";
}

INSTANTIATE_TEST_SUITE_P(Rows, SetMembers,
                         testing::Combine(testing::ValuesIn(set_rows),
                                          testing::ValuesIn(regex_test::both_modes)));

// A quantifier after a set applies to the whole set.
TEST(SetMembers, QuantifierRepeatsTheWholeSet) {
    for (auto mode : regex_test::both_modes)
        EXPECT_EQ(regex_test::run("[ab]+", 0, mode, "xabbay"), "abba@1");
}

} // namespace
