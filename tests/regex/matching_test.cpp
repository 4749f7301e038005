// What a match call finds: tables of pattern, flags, subject and the whole
// result list, each row run through both matchers.
#include "regex_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::uint32_t sys = 0x8B; // what every caller of the system passes
constexpr std::uint32_t all = regex::global | regex::all_backrefs;
constexpr std::uint32_t firsts = regex::global | regex::first_backrefs;

struct match_row {
    std::string pattern;
    std::uint32_t flags;
    std::string subject;
    std::string expected; // regex_test::describe
};

void PrintTo(const match_row& row, std::ostream* os) {
    *os << '"' << regex_test::printable(row.pattern) << "\" flags " << row.flags << " on \""
        << regex_test::printable(row.subject) << '"';
}

const match_row match_rows[] = {
    // The line pattern of the import: one match per line, runs of line
    // breaks taken whole, a last line without a break not matched.
    {"([^\r\n]*?)[\r\n]+", sys, "a\r\nb\n", "a\r\n@0 | a@0 | b\n@3 | b@3"},
    {"([^\r\n]*?)[\r\n]+", sys, "a\r\n\r\n\nb\r\n", "a\r\n\r\n\n@0 | a@0 | b\r\n@6 | b@6"},
    {"([^\r\n]*?)[\r\n]+", sys, "a\nlast", "a\n@0 | a@0"},
    {"([^\r\n]*?)[\r\n]+", sys, "\r\n\r\nx\r", "\r\n\r\n@0 | @0 | x\r@4 | x@4"},
    {"([^\r\n]*?)[\r\n]+", sys, "no break", "none"},
    // The entry pattern: anchored, tried at the begin only.
    {"^([0-9a-zA-Z\\.-]+)$", sys, "example.com", "example.com@0 | example.com@0"},
    {"^([0-9a-zA-Z\\.-]+)$", sys, "Ex-4.COM", "Ex-4.COM@0 | Ex-4.COM@0"},
    {"^([0-9a-zA-Z\\.-]+)$", sys, "exa mple.com", "none"},
    {"^([0-9a-zA-Z\\.-]+)$", sys, "", "none"},
    {"^([0-9a-zA-Z\\.-]+)$", sys, "a.b\n", "a.b@0 | a.b@0"},
    {"^([0-9a-zA-Z\\.-]+)$", sys, "a.b\n\n", "none"},
    // The Alexa pattern: any case, line breaks inside the element, every digit.
    {"<POPULARITY URL=.*? TEXT=\"([0-9]*?)\"", sys,
     "<x/><popularity url=\"a.com/\nb\" TEXT=\"12345\" SOURCE=\"panel\"/>",
     "<popularity url=\"a.com/\nb\" TEXT=\"12345\"@4 | 12345@37"},
    // Which matches a call keeps.
    {"a\\d", regex::noflags, "a1a2", "a1@0"},
    {"a\\d", regex::global, "a1a2", "a2@2"},
    {"(a)(\\d)", firsts, "a1a2", "a1@0 | a2@2"},
    {"(a)(\\d)", all, "a1a2", "a1@0 | a@0 | 1@1 | a2@2 | a@2 | 2@3"},
    {"(a)(\\d)", regex::noflags, "xx", "none"},
    {"(a)(\\d)", regex::rightmost, "a1a2", "a2@2 | a@2 | 2@3"},
    // Empty matches under global: never two at one place.
    {"x*", all, "ab", "@0 | @1 | @2"},
    {"a*", all, "baa", "@0 | aa@1 | @3"},
    {"\\b", all, "ab cd", "@0 | @2 | @3 | @5"},
    {"", all, "", "@0"},
    // ... also searched from the right, where the starts right of an empty
    // match all fail before its place is tried again.
    {"(?=b)", all | regex::rightmost, "ba", "@0"},
    {"x*", all | regex::rightmost, "ab", "@2"},
    {"a*", firsts | regex::rightmost, "baa", "@3"},
    // Anchors.
    {"^a", all, "aaa", "a@0"},
    {"\\Aa", all, "aaa", "a@0"},
    {"^a", all | regex::multiline, "a\na", "a@0 | a@2"},
    {"^b", regex::multiline, "a\nb", "b@2"},
    {"^b", regex::noflags, "a\nb", "none"},
    {"^a", regex::rightmost, "aa", "a@0"},
    {"a$", all, "a\na", "a@2"},
    {"a$", all | regex::multiline, "a\na", "a@0 | a@2"},
    {"a$", regex::noflags, "a\n", "a@0"},
    {"a\\Z", regex::noflags, "a\n", "a@0"},
    {"a\\z", regex::noflags, "a\n", "none"},
    {"$", all, "a\nb", "@3"},
    {"\\bfoo\\b", regex::noflags, "a foo b", "foo@2"},
    {"\\bfoo\\b", regex::noflags, "afoo", "none"},
    {"\\Boo", regex::noflags, "foo", "oo@1"},
    // Repetitions whose count the next byte decides, run without
    // backtracking: lazy or greedy, bounded, at the end, before $.
    {"a+?", all, "aaa", "a@0 | a@1 | a@2"},
    {"a+", all, "aaa", "aaa@0"},
    {"[a-z]{0,2}1", regex::noflags, "abc1", "bc1@1"},
    {"([a-z]{2,3})([0-9]+?)x", all, "abcd12x ab1x",
     "bcd12x@1 | bcd@1 | 12@4 | ab1x@8 | ab@8 | 1@10"},
    {"([a-z]+?)$", regex::noflags, "abc\n", "abc@0 | abc@0"},
    {"(a)()(b)", regex::noflags, "ab", "ab@0 | a@0 | @1 | b@1"},
    {"\\bAB[0-9]\\b", regex::ignore_case, "xab1 ab2", "ab2@5"},
    {"^[a-z]+", all | regex::multiline, "ab\ncd", "ab@0 | cd@3"},
    {"a+", regex::rightmost, "aab", "a@1"},
    {"a{2}b", regex::noflags, "ab aab", "aab@3"},
    // ... and anchored at the subject begin: one try there, whatever the flags.
    {"^(a+)", all, "aab", "aa@0 | aa@0"},
    {"^(a+)", firsts, "aab", "aa@0"},
    {"^(a+)", regex::global, "aab", "aa@0 | aa@0"},
    {"^(a+)", all, "baa", "none"},
    {"\\A(b)", regex::rightmost | regex::multiline, "ba", "b@0 | b@0"},
    {"[^x]*$", regex::noflags, "ab\n", "ab\n@0"},
    // Alternatives in order, backtracking into them, independent groups.
    {"(a|ab)c", regex::noflags, "abc", "abc@0 | ab@0"},
    {"(?>a|ab)c", regex::noflags, "abc", "none"},
    {"(?>a+)b", regex::noflags, "aaab", "aaab@0"},
    {"(?>a+)a", regex::noflags, "aaaa", "none"},
    {"(?>x|(y))+z", regex::noflags, "xyz", "xyz@0 | y@1"},
    {"(a)|b", regex::noflags, "b", "b@0 | -"},
    {"cat|dog|cow", regex::noflags, "a cow", "cow@2"},
    {"a|", regex::noflags, "b", "@0"},
    {"<div id=a>x|<div id=b>y", regex::ignore_case, "<DIV ID=A>y<div id=B>Y", "<div id=B>Y@11"},
    // Back-references.
    {"(a)?\\1", regex::noflags, "", "none"},
    {"(a)?\\1", regex::noflags, "b", "none"},
    {"(a)\\1", regex::ignore_case, "aA", "aA@0 | a@0"},
    {"(a)\\1", regex::noflags, "aA", "none"},
    {"\\1(a)", regex::noflags, "aa", "none"},
    {"(ab)\\1*", regex::noflags, "abababx", "ababab@0 | ab@0"},
    {"(a)\\1{2}", regex::noflags, "aaaa", "aaa@0 | a@0"},
    {"(a)\\1*?b", regex::noflags, "aaab", "aaab@0 | a@0"},
    {"(a*)\\1+b", regex::noflags, "b", "b@0 | @0"},
    {"(a)|\\1x", regex::noflags, "x", "none"},
    // Escapes giving a byte.
    {"(a)\\12", regex::noflags, "a\n", "a\n@0 | a@0"},
    {"\\012", regex::noflags, "\n", "\n@0"},
    {"\\1234", regex::noflags, "S4", "S4@0"},
    {"\\81", regex::noflags, "81", "81@0"},
    {"\\n", regex::noflags, "n\n", "n@0"},
    {"\\n", regex::normalize, "n\n", "\n@1"},
    {"\\t\\r\\f\\a\\\\", regex::normalize, "\t\r\f\a\\", "\t\r\f\a\\@0"},
    {"\\v", regex::normalize, "v", "v@0"},
    {"\\x41\\x4\\e\\cA\\cz", regex::noflags, "A\x04\x1b\x01\x1a", "A\x04\x1b\x01\x1a@0"},
    {"\\x", regex::noflags, std::string("a\0", 2), std::string("\0@1", 3)},
    {"\\Qa.b\\E", regex::noflags, "axb a.b", "a.b@4"},
    {"\\Qa(b", regex::noflags, "a(b", "a(b@0"},
    {"\\.+", regex::noflags, "a..", "..@1"},
    {"a\\", regex::noflags, "a\\", "a\\@0"},
    {"\xb8\xf6", regex::ignore_case, "\xd6\xf6 \xb8\xf6", "\xb8\xf6@3"},
    // Bounds, and braces that are not bounds.
    {"a{x", regex::noflags, "a{x", "a{x@0"},
    {"a{2", regex::noflags, "aa{2", "a{2@1"},
    {"{3}", regex::noflags, "{3}", "{3}@0"},
    {"x{2}{3}", regex::noflags, "xx{3}", "xx{3}@0"},
    {"a,}", regex::noflags, "a,}", "a,}@0"},
    {"a{,2}", regex::noflags, "aaa", "aa@0"},
    {"a{}", regex::noflags, "a", "@0"},
    {"a{2,}", regex::noflags, "aaaa", "aaaa@0"},
    {"a{2,3}?", regex::noflags, "aaaa", "aa@0"},
    {"ab{2}c", regex::noflags, "abbc", "abbc@0"},
    // Greedy and lazy.
    {"a+?", regex::noflags, "aaa", "a@0"},
    {"<.*?>", regex::noflags, "<a><b>", "<a>@0"},
    {"<.*>", regex::noflags, "<a><b>", "<a><b>@0"},
    {"a.c", regex::noflags, "a\nc", "none"},
    {"a.c", regex::single_line, "a\nc", "a\nc@0"},
    {"[^0-9]*([0-9,]*).*?<nobr>", regex::noflags, "x 1,2 y<nobr>", "x 1,2 y<nobr>@0 | 1,2@2"},
    {"a*?b", regex::noflags, "aab", "aab@0"},
    {"x.*y.*z", regex::noflags, "xyyzz", "xyyzz@0"},
    // Group repetitions.
    {"(ab)*c", regex::noflags, "ababc", "ababc@0 | ab@2"},
    {"(a|b)*?c", regex::noflags, "abc", "abc@0 | b@1"},
    {"(a?)*", regex::noflags, "aa", "aa@0 | @2"},
    {"(a){2,3}", regex::noflags, "aaaa", "aaa@0 | a@2"},
    {"(a){2,3}?", regex::noflags, "aaaa", "aa@0 | a@1"},
    {"(?:a|b){3}", regex::noflags, "abab", "aba@0"},
    {"(a|ab)(c|bcd)(d*)", regex::noflags, "abcd", "abcd@0 | a@0 | bcd@1 | @4"},
    {"((a)|b)+", regex::noflags, "ab", "ab@0 | b@1 | a@0"},
    {"(?:(a)|b)*", regex::noflags, "ab", "ab@0 | a@0"},
    {"(a*)*b", regex::noflags, "aab", "aab@0 | @2"},
    {"(a*)+?b", regex::noflags, "aab", "aab@0 | aa@0"},
    {"(?:x(a)?)*", regex::noflags, "xax", "xax@0 | a@1"},
    // Look-ahead and look-behind.
    {"a(?=b)", regex::noflags, "ac ab", "a@3"},
    {"a(?!b)", regex::noflags, "ab ac", "a@3"},
    {"(?=(a))", regex::noflags, "a", "@0 | a@0"},
    {"(?!(a))b", regex::noflags, "b", "b@0 | -"},
    // A failed negative look-ahead leaves no group set, even one set by an
    // independent group repeated inside it.
    {"(?!(?>.(..))*.)", regex::noflags, "aaaaaaaa", "@8 | -"},
    {"(?!(?>(a))*b)", regex::noflags, "aab", "@3 | -"},
    {"(?<=a)b", regex::noflags, "cb ab", "b@4"},
    {"(?<!a)b", regex::noflags, "ab cb", "b@4"},
    {"(?<=ab|c)d", regex::noflags, "xd abd", "d@5"},
    {"(?<=a+)b", regex::noflags, "aaab", "b@3"},
    {"(?<=^|,)x", all, "x,x,ax", "x@0 | x@2"},
    {"(?<=\\b)b", regex::noflags, "ab b", "b@3"},
    {"(?<=(a))b", regex::noflags, "ab", "b@1 | a@0"},
    {"(?<=a(?=b))b", regex::noflags, "ab", "b@1"},
    // Conditionals.
    {"(a)?(?(1)b|c)", regex::noflags, "ab", "ab@0 | a@0"},
    {"(a)?(?(1)b|c)", regex::noflags, "c", "c@0 | -"},
    {"(a)?(?(1)b)c", regex::noflags, "c", "c@0 | -"},
    {"(?(?=a)ab|cd)", regex::noflags, "cd", "cd@0"},
    {"(?(?!a)cd|ab)", regex::noflags, "ab", "ab@0"},
    {"(?(?<=a)b|c)", all, "abcb", "b@1 | c@2"},
    {"(?:(a)|(?(1)b|c))+", regex::noflags, "ab", "ab@0 | a@0"},
    // Recursion.
    {"\\((?:[^()]|(?R))*\\)", regex::noflags, "x(a(b)c)y", "(a(b)c)@1"},
    {"a(?:(?R))?b", regex::noflags, "aaabbb", "aaabbb@0"},
    {"(?R)a", regex::noflags, "a", "a@0"},
    // Inline flags and flag-scoped groups.
    {"(?i)a", regex::noflags, "A", "A@0"},
    {"(?i:a)", regex::noflags, "A", "A@0"},
    {"(a(?i)b)c", regex::noflags, "aBc", "aBc@0 | aB@0"},
    {"(a(?i)b)c", regex::noflags, "aBC", "none"},
    {"a(?i)b|c", regex::noflags, "C", "C@0"},
    {"(?i-i)a", regex::noflags, "A", "none"},
    {"(?-i)a", regex::ignore_case, "A", "none"},
    {"(?s).", regex::noflags, "\n", "\n@0"},
    {"(?m)^b", regex::noflags, "a\nb", "b@2"},
    {"(?x) a b # c\n c", regex::noflags, "abc", "abc@0"},
    {"a b # c\n c", regex::extended, "abc", "abc@0"},
    {"a[ ]b", regex::extended, "a b", "a b@0"},
    // Constructs that add nothing.
    {"a(?:)b", regex::noflags, "ab", "ab@0"},
    {"x(?!)y", regex::noflags, "xy", "xy@0"},
    {"x(?=)y", regex::noflags, "xy", "xy@0"},
    {"a(?#note)b", regex::noflags, "ab", "ab@0"},
    // Numbering: non-capturing constructs leave no entry.
    {"(?:a)(b)", regex::noflags, "ab", "ab@0 | b@1"},
    {"(?>a)(?i:b)(c)", regex::noflags, "aBc", "aBc@0 | c@2"},
    {"((a)(?:b)(c))", regex::noflags, "abc", "abc@0 | abc@0 | a@0 | c@2"},
    // The minimum length: a subject exactly that long is tried at its begin only.
    {"abc", regex::noflags, "abc", "abc@0"},
    {"abc", regex::noflags, "ab", "none"},
    {"a.{3}", regex::noflags, "xxa12", "none"},
    // A pattern that begins with .* is tried at the first start only.
    {".*b", regex::single_line, "a\nab", "a\nab@0"},
    {".*b", regex::noflags, "a\nab", "ab@2"},
    {".*", all | regex::single_line, "ab", "ab@0 | @2"},
    // Letter case of literals and sets under ignore_case.
    {"<POPULARITY URL=", sys, "<popularity url=", "<popularity url=@0"},
    {"[0-9a-zA-Z]+", sys, "aZ9", "aZ9@0"},
    {"abc", regex::ignore_case, "xAbC", "AbC@1"},
    // Former bugs: what follows an atomic group filtered the repetitions
    // inside it; a repetition whose body starts with a back-reference passed
    // its unknown first bytes off as known.
    {"(?>a*)a", regex::noflags, "aa", "none"},
    {"(?>a*)\\.", regex::noflags, "aa.", "aa.@0"},
    {"(|)(?:\\1??a)?\\.", regex::noflags, "a.", "a.@0 | @0"},
    {"()^|(^|)(\\2??\\w\\b|A*|)??\\.{1}?(?i)", 0x186, "bAB\xe9\naa.B1a.",
     "@0 | @0 | - | - | @5 | @5 | - | - | a.@6 | - | @6 | a@6 | a.@10 | - | @10 | a@10"},
};

class Matching : public testing::TestWithParam<std::tuple<match_row, regex::match_mode>> {};

TEST_P(Matching, FindsExactlyTheResultList) {
    const auto& [row, mode] = GetParam();
    EXPECT_EQ(regex_test::printable(regex_test::run(row.pattern, row.flags, mode, row.subject)),
              regex_test::printable(row.expected));
}

INSTANTIATE_TEST_SUITE_P(Rows, Matching,
                         testing::Combine(testing::ValuesIn(match_rows),
                                          testing::Values(regex::mode_recursive,
                                                          regex::mode_iterative,
                                                          regex::mode_auto)));

} // namespace

namespace {

// The start scanner finds a literal prefix wherever it stands: every offset
// of subjects long and short, either case, one byte or many, shared by all
// alternatives or not.
class PrefixScan : public testing::TestWithParam<regex::match_mode> {};

TEST_P(PrefixScan, FindsThePrefixAtEveryOffset) {
    const struct {
        std::string pattern;
        std::uint32_t flags;
        std::string found; // as it stands in the subject
    } rows[] = {
        {"q", regex::noflags, "q"},
        {"Q", regex::ignore_case, "q"},
        {"qz", regex::noflags, "qz"},
        {"<div id=x>", regex::ignore_case, "<DiV iD=X>"},
        {"\xb0\xd9\xb6\xc8\xd2\xbb", regex::ignore_case, "\xb0\xd9\xb6\xc8\xd2\xbb"},
        {"ab+c", regex::noflags, "abbc"},
        {"<b>x|<b>y", regex::noflags, "<b>y"},
        {std::string(300, 'k') + "!", regex::noflags, std::string(300, 'k') + "!"},
    };
    for (const auto& row : rows) {
        const regex::compiled_pattern pattern(row.pattern, row.flags, GetParam());
        regex::match_backrefs results;
        for (std::size_t length :
             {std::size_t{0}, std::size_t{15}, std::size_t{17}, std::size_t{40}}) {
            for (std::size_t at = 0; at <= length; ++at) {
                // Filler of near misses: the prefix's first byte and last byte
                // at the wrong distances.
                std::string subject;
                for (std::size_t i = 0; subject.size() < length; ++i)
                    subject += i % 3 ? row.found.front() : row.found.back();
                subject.resize(length);
                subject.insert(at, row.found);
                SCOPED_TRACE(regex_test::printable(row.pattern) + " in " +
                             regex_test::printable(subject));
                const regex::backref_tag& whole = pattern.match(subject, results);
                ASSERT_TRUE(whole.matched);
                const auto expected = subject.find(row.found);
                EXPECT_EQ(static_cast<std::size_t>(whole.first - subject.data()), expected);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothMatchers, PrefixScan, testing::ValuesIn(regex_test::both_modes),
                         [](const auto& info) { return regex_test::mode_name(info.param); });

} // namespace

namespace {

// A repetition followed by a literal scans for the literal's two ends:
// greedy takes its last place, lazy its first, at every offset and in either
// letter case.
class FollowScan : public testing::TestWithParam<regex::match_mode> {};

TEST_P(FollowScan, GreedyTakesTheLastPlaceLazyTheFirst) {
    const struct {
        std::string literal; // as the pattern writes it
        std::uint32_t flags;
        std::string inText; // as the subject holds it
    } rows[] = {
        {"bc", regex::single_line, "bc"},
        {"</DIV><p>", regex::single_line | regex::ignore_case, "</div><P>"},
        {"\xb8\xf6", regex::single_line | regex::ignore_case, "\xb8\xf6"},
    };
    for (const auto& row : rows) {
        const regex::compiled_pattern greedy("@.*" + row.literal, row.flags, GetParam());
        const regex::compiled_pattern lazy("@.*?" + row.literal, row.flags, GetParam());
        regex::match_backrefs results;
        for (std::size_t length : {std::size_t{3}, std::size_t{20}, std::size_t{70}}) {
            for (std::size_t first = 0; first <= length; first += 3) {
                // Near misses all around: the literal's ends at other distances.
                std::string subject = "@";
                while (subject.size() < length)
                    subject += subject.size() % 2 ? row.inText.back() : row.inText.front();
                subject.insert(1 + first / 2, row.inText);
                subject.insert(1 + first, row.inText);
                SCOPED_TRACE(regex_test::printable(subject));
                const auto lastEnd = subject.rfind(row.inText) + row.inText.size();
                const auto firstEnd = subject.find(row.inText) + row.inText.size();
                EXPECT_EQ(greedy.match(subject, results).length(), lastEnd);
                EXPECT_EQ(lazy.match(subject, results).length(), firstEnd);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothMatchers, FollowScan, testing::ValuesIn(regex_test::both_modes),
                         [](const auto& info) { return regex_test::mode_name(info.param); });

} // namespace
