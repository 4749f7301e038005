// Every compile error: the pattern is refused with bad_regexpr carrying the
// exact message, in either mode.
#include "regex/detail/compiler.h"
#include "regex_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct error_row {
    std::string pattern;
    std::string message;
    std::uint32_t flags = regex::noflags;
};

void PrintTo(const error_row& row, std::ostream* os) {
    *os << '"' << regex_test::printable(row.pattern) << '"';
}

const std::string not_expected = "quantifier not expected";
const std::string mismatched = "mismatched parenthesis";
const std::string ill_formed = "ill-formed regular expression";
const std::string bad_extension = "bad extension sequence";
const std::string nonexistent = "reference to nonexistent group";

const error_row error_rows[] = {
    // A quantifier where an atom must begin.
    {"a**", not_expected},
    {"*a", not_expected},
    {"(*)", not_expected},
    {"a|+", not_expected},
    {"^*", not_expected},
    {"$?", not_expected},
    {"\\b+", not_expected},
    {"\\Q\\E*", not_expected},
    {"\\Qab\\E+", not_expected},
    {"a*??", not_expected},
    {"a{2}*", not_expected},
    {"(?:)*", not_expected},
    {"(?i)+", not_expected},
    {"(?=a)*", not_expected},
    {"(?<=a)?", not_expected},
    {"x(?R)*", not_expected},
    {"a| # comment\n *", not_expected, regex::extended},
    // Parentheses.
    {"(ab", mismatched},
    {"ab)", mismatched},
    {"((a)", mismatched},
    {")", mismatched},
    {"(?:a", mismatched},
    {"(?=a", mismatched},
    {"(?(1)a", mismatched},
    // The pattern ends inside an extension.
    {"(?", ill_formed},
    {"(?i", ill_formed},
    {"(?i-", ill_formed},
    {"(?:", ill_formed},
    {"(?>", ill_formed},
    {"(?=", ill_formed},
    {"(?<", ill_formed},
    {"(?<=", ill_formed},
    {"(?R", ill_formed},
    {"(?(", ill_formed},
    {"(?(1", ill_formed},
    {"(?(?", ill_formed},
    {"(?  ", ill_formed, regex::extended},
    // Bad extensions.
    {"(?<a)", bad_extension},
    {"(?Ra)", bad_extension},
    {"(?q)", bad_extension},
    {"(?i-m-s)", bad_extension},
    {"(?is-mq)", bad_extension},
    {"(?(0)a)", bad_extension},
    {"(?(a)b)", bad_extension},
    {"(?(1a)b)", bad_extension},
    {"(?(?a)b)", bad_extension},
    {"(?(?<a)b)", bad_extension},
    // Comments, conditionals, escapes, bounds.
    {"(?#abc", "Expecting end of comment"},
    {"a(?#", "Expecting end of comment"},
    {"(a)(?(1)b|c|d)", "Too many alternates in conditional subexpression"},
    {"(?(?=a)b|c|d)", "Too many alternates in conditional subexpression"},
    {"\\c", "incomplete escape sequence \\c"},
    {"ab\\c", "incomplete escape sequence \\c"},
    {"\\E", "quotemeta turned off, but was never turned on"},
    {"a\\Eb", "quotemeta turned off, but was never turned on"},
    {"\\Qa\\E\\E", "quotemeta turned off, but was never turned on"},
    {"a{2,1}", "Can't do {n, m} with n > m"},
    {"(a){5,3}", "Can't do {n, m} with n > m"},
    {"[ab]{10,9}?", "Can't do {n, m} with n > m"},
    // Sets.
    {"[z-a]", "invalid range specified in character set"},
    {"[\\x43-\\x41]", "invalid range specified in character set"},
    {"x[9-0]", "invalid range specified in character set"},
    {"[abc", "expecting end of character set"},
    {"[a-", "expecting end of character set"},
    {"[", "expecting end of character set"},
    {"[]", "expecting end of character set"},
    {"[^]", "expecting end of character set"},
    {"[a\\", "expecting end of character set"},
    {"[\\c", "expecting end of character set"},
    {"[[:alpha:]", "expecting end of character set"},
    // Back-references and conditionals on groups the pattern lacks.
    {"(a)\\2", nonexistent},
    {"\\1", nonexistent},
    {"(?:a)\\1", nonexistent},
    {"(a)\\2*", nonexistent},
    {"(?(2)a)", nonexistent},
};

class CompileError : public testing::TestWithParam<std::tuple<error_row, regex::match_mode>> {};

TEST_P(CompileError, ThrowsItsMessage) {
    const auto& [row, mode] = GetParam();
    try {
        regex::compiled_pattern pattern(row.pattern, row.flags, mode);
        FAIL() << "compiled";
    } catch (const regex::bad_regexpr& e) {
        EXPECT_EQ(e.what(), row.message);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CompileError,
                         testing::Combine(testing::ValuesIn(error_rows),
                                          testing::ValuesIn(regex_test::both_modes)));

// The parser never hands an assertion, a recursion or a literal run to the
// repetition builder; its answers for them are still fixed.
TEST(CompileError, RepeatRefusesWhatCannotBeRepeated) {
    regex::detail::program prog;
    auto* lookahead = prog.arena.make<regex::detail::group_node>();
    lookahead->kind = regex::detail::op::assertion;
    auto* lookbehind = prog.arena.make<regex::detail::group_node>();
    lookbehind->kind = regex::detail::op::assertion;
    lookbehind->behind = true;
    auto* recursion = prog.arena.make<regex::detail::node>(regex::detail::op::recurse);
    auto* literal = prog.arena.make<regex::detail::lit_node>();
    literal->kind = regex::detail::op::literal;
    auto* end = prog.arena.make<regex::detail::node>(regex::detail::op::end_pattern);

    const struct {
        regex::detail::node* atom;
        std::string message;
    } rows[] = {
        {lookahead, "look-ahead assertion cannot be quantified"},
        {recursion, "recursion sub-expression cannot be quantified"},
        {lookbehind, "sub-expression cannot be quantified"},
        {literal, "sub-expression cannot be quantified"},
        {end, "sub-expression cannot be quantified"},
    };
    for (const auto& row : rows) {
        try {
            regex::detail::compiler::make_repeat(prog, row.atom, 0, 1, true);
            ADD_FAILURE() << row.message << ": repeated";
        } catch (const regex::bad_regexpr& e) {
            EXPECT_EQ(e.what(), row.message);
        }
    }
}

TEST(CompileError, ArenaExhaustionIsBadAllocWithItsText) {
    regex::detail::arena_allocator arena;
    try {
        arena.allocate(static_cast<std::size_t>(-1) / 2);
        FAIL() << "allocated";
    } catch (const std::bad_alloc& e) {
        EXPECT_STREQ(e.what(), "bad allocation");
    }
}

} // namespace
