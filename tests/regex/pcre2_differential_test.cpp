// The engine against PCRE2 on the syntax both understand: every pattern of the
// corpus runs over many generated subjects, under several flag words, through
// both matchers; the first match and its groups, and the whole global result
// list, must equal PCRE2's.
//
// Left out, where the engine means something else by the text, where PCRE2
// strays, and one open fault:
//  - \a \f \n \r \t without normalize (the engine reads the letter), \v (a
//    letter outside brackets, 0x0B inside), \x without two hex digits, and
//    inside brackets \x before a further hex digit (the engine takes them all);
//  - {,m} and {} (bounds to the engine, literal text to PCRE2), a bound where
//    an atom must begin, possessive quantifiers, a quantifier after \E, a
//    lone \E, \Q inside brackets;
//  - (?!) and (?=), which the engine drops while PCRE2 keeps them;
//  - (?(n)...), whose tested group the engine numbers its own way, and (?R);
//  - look-behinds with captures whose alternatives differ in length (the
//    engine tries the farthest start first, PCRE2 the first alternative);
//  - groups inside a negative assertion that serves as a condition (PCRE2
//    keeps what they matched when the assertion fails, the engine restores);
//  - an inline m with ^ after a final line feed (PCRE2 honours its option for
//    that place only when multiline comes from the compile options);
//  - groups that can match the empty string, repeated with a bound above one:
//    after an empty iteration the engine goes on after the repetition where
//    PCRE2 tries the further iterations, so a later backtrack leaves other
//    groups than PCRE2's;
//  - groups repeated {0} times, which PCRE2 still counts when it decides
//    that a pattern can only match at line starts;
//  - [:upper:] and [:lower:] under ignore_case (the engine does not fold
//    classes, PCRE2 does).
#include "fuzz/pcre2_reference.h"
#include "regex/regex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::string_literals;
using regex_check::call_result;
using regex_check::engine_call;
using regex_check::pcre2_reference;
using regex_check::printable;

// Marks a row whose flags are not to be varied.
constexpr std::uint32_t fixed_flags = 0x8000'0000;

struct corpus_row {
    std::string pattern;
    std::vector<std::string> pieces; // subjects are strings of these
    std::uint32_t flags = regex::noflags;
};

// About how many subjects a row gets: every string of up to as many pieces as
// fit, or random strings when only short ones would fit.
constexpr std::size_t budget = 1200;

std::vector<std::string> all_strings(const std::vector<std::string>& pieces,
                                     std::size_t maxLength) {
    std::vector<std::string> out{""};
    std::size_t levelBegin = 0;
    for (std::size_t length = 1; length <= maxLength; ++length) {
        const std::size_t levelEnd = out.size();
        for (std::size_t i = levelBegin; i < levelEnd; ++i) {
            for (const std::string& piece : pieces)
                out.push_back(out[i] + piece);
        }
        levelBegin = levelEnd;
    }
    return out;
}

std::vector<std::string> random_strings(const std::vector<std::string>& pieces,
                                        std::size_t maxLength) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::vector<std::string> out;
    for (std::size_t n = 0; n < budget; ++n) {
        std::string subject;
        for (std::size_t i = length(random); i > 0; --i)
            subject += pieces[pick(random)];
        out.push_back(subject);
    }
    return out;
}

// Every string of up to a few pieces while they fit the budget; random ones
// of up to eight pieces beyond it.
std::vector<std::string> subjects(const std::vector<std::string>& pieces) {
    std::size_t length = 0;
    std::size_t count = 1;
    std::size_t level = 1;
    while (level * pieces.size() + count <= budget && length < 8) {
        level *= pieces.size();
        count += level;
        ++length;
    }
    if (length >= 4)
        return all_strings(pieces, length);
    std::vector<std::string> out = all_strings(pieces, length);
    std::vector<std::string> more = random_strings(pieces, 8);
    out.insert(out.end(), more.begin(), more.end());
    return out;
}

bool contains_any(std::string_view text, std::string_view bytes) {
    return text.find_first_of(bytes) != std::string_view::npos;
}

// The flag words a row runs under: its own, with letter case, the kind of
// dot and the kind of anchors switched where the pattern has them.
std::vector<std::uint32_t> flag_words(const corpus_row& row) {
    if (row.flags & fixed_flags)
        return {row.flags & ~fixed_flags};
    std::vector<std::uint32_t> words{row.flags, row.flags ^ regex::ignore_case};
    auto vary = [&words](std::uint32_t bit) {
        const std::size_t n = words.size();
        for (std::size_t i = 0; i < n; ++i)
            words.push_back(words[i] ^ bit);
    };
    if (contains_any(row.pattern, "."))
        vary(regex::single_line);
    if (contains_any(row.pattern, "^$"))
        vary(regex::multiline);
    return words;
}

// One pattern under one flag word over all its subjects, through both
// matchers and the plain backtracking search, and against PCRE2.
void check(const std::string& pattern, std::uint32_t flags, const std::vector<std::string>& texts) {
    SCOPED_TRACE("pattern \"" + printable(pattern) + "\" flags " + std::to_string(flags));
    const pcre2_reference reference(pattern, flags);
    regex::compiled_pattern recursive(pattern, flags, regex::mode_recursive);
    regex::compiled_pattern iterative(pattern, flags, regex::mode_iterative);
    ASSERT_EQ(recursive.group_count(), reference.group_count());
    regex::match_limits backtrackOnly;
    backtrackOnly.backtrack_only = true;
    regex::match_limits linearAtOnce;
    linearAtOnce.linear_at_once = true;
    int failures = 0;
    for (const std::string& text : texts) {
        const call_result expected = reference.call(text);
        const call_result byRecursion = engine_call(recursive, text);
        const call_result byIteration = engine_call(iterative, text);
        const call_result byBacktracking = engine_call(recursive, text, backtrackOnly);
        const call_result byLinearSearch = engine_call(recursive, text, linearAtOnce);
        EXPECT_EQ(byRecursion, expected) << "recursive, subject \"" << printable(text) << '"';
        EXPECT_EQ(byIteration, byRecursion) << "iterative, subject \"" << printable(text) << '"';
        EXPECT_EQ(byBacktracking, byRecursion)
            << "backtracking only, subject \"" << printable(text) << '"';
        EXPECT_EQ(byLinearSearch, byRecursion)
            << "linear-time search at once, subject \"" << printable(text) << '"';
        failures += (byRecursion != expected) + (byIteration != byRecursion) +
                    (byBacktracking != byRecursion) + (byLinearSearch != byRecursion);
        // Enough to see what is wrong without burying the rest.
        if (failures >= 4)
            return;
    }
}

// Every subject under the flag words of the row, each without and with
// global; the row's own flags also searched from the right and in the other
// two global layouts.
void check_row(const corpus_row& row) {
    const std::vector<std::string> texts = subjects(row.pieces);
    const std::vector<std::uint32_t> words = flag_words(row);
    for (std::uint32_t flags : words) {
        check(row.pattern, flags, texts);
        if (!(flags & (regex::global | regex::rightmost)))
            check(row.pattern, flags | regex::global | regex::all_backrefs, texts);
    }
    const std::uint32_t own = words.front();
    if (own & regex::global)
        return;
    check(row.pattern, own | regex::rightmost, texts);
    check(row.pattern, own | regex::rightmost | regex::global | regex::all_backrefs, texts);
    check(row.pattern, own | regex::global | regex::first_backrefs, texts);
    check(row.pattern, own | regex::global, texts);
}

class Pcre2Differential : public testing::TestWithParam<corpus_row> {};

TEST_P(Pcre2Differential, AgreesWithPcre2AndBetweenMatchers) {
    check_row(GetParam());
}

std::string row_name(const testing::TestParamInfo<corpus_row>& info) {
    return "row" + std::to_string(info.index);
}

// Literal runs, the dot, letter case and high bytes.
INSTANTIATE_TEST_SUITE_P(
    Literals, Pcre2Differential,
    testing::Values(
        corpus_row{"a", {"a", "A", "b"}}, corpus_row{"ab", {"a", "b", "B"}},
        corpus_row{"abc", {"a", "b", "c", "C"}}, corpus_row{"aB", {"a", "A", "b", "B"}},
        corpus_row{"a.c", {"a", "c", "\n", "."}}, corpus_row{".", {"a", "\n", "\r"}},
        corpus_row{"..", {"a", "\n", "\x80"}}, corpus_row{"a\\.b", {"a", ".", "b"}},
        corpus_row{"\\\\", {"\\", "a"}}, corpus_row{"\\$\\(\\*", {"$", "(", "*"}},
        corpus_row{"\xb8\xf6", {"\xb8", "\xf6", "\x98", "\xd6"}},
        corpus_row{"\xe9", {"\xe9", "\xc9", "e", "E"}},
        corpus_row{"\xb0\xd9[^0-9]*([0-9,]*?)\xc6\xaa", {"\xb0\xd9", "\xc6\xaa", "1", ",", "\xd4"}},
        corpus_row{"\\x41\\x0a", {"A", "a", "\n"}}, corpus_row{"\\0a", {std::string(1, '\0'), "a"}},
        corpus_row{"\\012", {"\n", "1", "2"}}, corpus_row{"(a)\\12", {"a", "\n", "\x01"}},
        corpus_row{"\\e\\cA\\cz", {"\x1b", "\x01", "\x1a"}},
        corpus_row{"\\Qa.b\\E", {"a", ".", "b", "x"}},
        corpus_row{"\\Q*+?\\Ex", {"*", "+", "?", "x"}}, corpus_row{"a\\Q\\Eb", {"a", "b"}},
        corpus_row{"\\Qab", {"a", "b", "A"}}, corpus_row{"(?#note)a", {"a", "("}},
        corpus_row{"a{x", {"a", "{", "x"}}, corpus_row{"a{2", {"a", "{", "2"}},
        corpus_row{"a{1,x}", {"a", "{1,x}"}}, corpus_row{"a}b,", {"a", "}", "b", ","}},
        corpus_row{"\\n\\r\\t", {"\n", "\r", "\t", "n"}, regex::normalize},
        corpus_row{"\\a\\f\\\\", {"\a", "\f", "\\"}, regex::normalize},
        corpus_row{"[\\n\\r]+", {"\n", "\r", "n", "r"}, regex::normalize}),
    row_name);

// Quantifiers on single atoms and groups, greedy and lazy.
INSTANTIATE_TEST_SUITE_P(
    Quantifiers, Pcre2Differential,
    testing::Values(corpus_row{"a*", {"a", "b"}}, corpus_row{"a+", {"a", "A", "b"}},
                    corpus_row{"a?", {"a", "b"}}, corpus_row{"a*?", {"a", "b"}},
                    corpus_row{"a+?", {"a", "b"}}, corpus_row{"a??b", {"a", "b"}},
                    corpus_row{"a{2}", {"a", "b"}}, corpus_row{"a{2,}", {"a", "b"}},
                    corpus_row{"a{1,3}", {"a", "b"}}, corpus_row{"a{1,3}?b", {"a", "b"}},
                    corpus_row{"a{0}b", {"a", "b"}}, corpus_row{"ab*c", {"a", "b", "c"}},
                    corpus_row{"ab+?c", {"a", "b", "c"}}, corpus_row{"[ab]+", {"a", "b", "c"}},
                    corpus_row{"[ab]*?b", {"a", "b", "c"}}, corpus_row{"x{2}y{1,2}?", {"x", "y"}},
                    corpus_row{".{2,3}", {"a", "\n"}}, corpus_row{".*", {"a", "\n"}},
                    corpus_row{".+?", {"a", "\n"}}, corpus_row{".*b", {"a", "b", "\n"}},
                    corpus_row{".*?b", {"a", "b", "\n"}}, corpus_row{"a.*b", {"a", "b", "\n"}},
                    corpus_row{"a.*?b", {"a", "b", "\n"}}, corpus_row{"(ab){2}", {"a", "b", "ab"}},
                    corpus_row{"(ab){1,}?c", {"ab", "a", "c"}},
                    corpus_row{"(a|b){2,3}", {"a", "b", "c"}},
                    corpus_row{"(a|b)*?b", {"a", "b", "c"}}, corpus_row{"(a*)*", {"a", "b"}},
                    corpus_row{"(a*)+b", {"a", "b"}}, corpus_row{"(a|b)*", {"a", "b", "c"}},
                    corpus_row{"(a+|b+)*c", {"a", "b", "c"}}, corpus_row{"(a|)*b", {"a", "b"}},
                    corpus_row{"(a?){3}", {"a", "b"}}, corpus_row{"(a|ab)*c", {"a", "b", "c"}},
                    corpus_row{"(a*?)(a*)", {"a", "b"}}, corpus_row{"(a+?)(b*)", {"a", "b"}},
                    corpus_row{"(.*?),(.*)", {"a", ",", "\n"}}, corpus_row{"(?:ab)+?b", {"a", "b"}},
                    corpus_row{"(?:a|bc){1,2}c", {"a", "b", "c"}}),
    row_name);

// Bracket sets and class escapes.
INSTANTIATE_TEST_SUITE_P(
    Sets, Pcre2Differential,
    testing::Values(
        corpus_row{"[abc]", {"a", "C", "d"}}, corpus_row{"[^abc]", {"a", "C", "d", "\n"}},
        corpus_row{"[a-c]+", {"a", "C", "d"}}, corpus_row{"[^a-c]+", {"a", "C", "d", "\x80"}},
        corpus_row{"[]a]", {"]", "a", "b"}}, corpus_row{"[^]]", {"]", "a"}},
        corpus_row{"[a-]", {"a", "-", "b"}}, corpus_row{"[-a]", {"a", "-", "b"}},
        corpus_row{"[^^]", {"^", "a"}}, corpus_row{"[\\x41-\\x43]", {"A", "B", "c", "D"}},
        corpus_row{"[\\d_]+", {"1", "_", "a"}}, corpus_row{"[^\\D]", {"1", "a"}},
        corpus_row{"[\\W]", {"a", "-", "\xe9"}}, corpus_row{"[\\S]+", {"a", " ", "\t"}},
        corpus_row{"[\\s\\d]", {" ", "\v", "1", "a"}}, corpus_row{"\\d+", {"1", "a", "\xb9"}},
        corpus_row{"\\D", {"1", "a"}}, corpus_row{"\\w+", {"a", "_", "1", "-", "\xe9"}},
        corpus_row{"\\W", {"a", "-", "\xe9"}},
        corpus_row{"\\s", {" ", "\t", "\n", "\v", "\f", "\r", "a", "\xa0"}},
        corpus_row{"\\S+", {" ", "a", "\x85"}}, corpus_row{"[[:alpha:]]+", {"a", "B", "1", "\xc0"}},
        corpus_row{"[[:digit:][:punct:]]", {"1", ".", "a"}},
        corpus_row{"[[:^alpha:]]", {"a", "1", "\xe0"}}, corpus_row{"[[:space:]]", {" ", "\v", "a"}},
        corpus_row{"[[:xdigit:]]+", {"f", "G", "9"}}, corpus_row{"[[:alnum:]_]", {"a", "_", "-"}},
        corpus_row{"[[:cntrl:]]", {"\x01", "\x7f", "a", "\x80"}},
        corpus_row{"[[:graph:]]", {" ", "a", "~", "\xa1"}},
        corpus_row{"[[:print:]]", {" ", "a", "\t"}},
        corpus_row{"[[:blank:]]", {" ", "\t", "\n", "a"}},
        corpus_row{"[[:upper:]]", {"a", "A"}, regex::noflags | fixed_flags},
        corpus_row{"[[:lower:]]+", {"a", "A"}, regex::noflags | fixed_flags},
        corpus_row{"[\\b]", {"\b", "b"}}, corpus_row{"[.]", {".", "a"}},
        corpus_row{"[\\]]", {"]", "a"}}, corpus_row{"[\\-a]", {"-", "a", "b"}},
        corpus_row{"[\\^a]", {"^", "a"}}, corpus_row{"[Z-a]", {"Z", "z", "_", "A", "a", "b"}},
        corpus_row{"[\\x80-\\xff]", {"\x80", "\xff", "a"}},
        corpus_row{"[^\\x80-\\xff]", {"\x80", "\xff", "a"}},
        corpus_row{"[\\w.-]+", {"a", ".", "-", " "}},
        corpus_row{"[0-9a-zA-Z\\.-]+", {"a", "Z", ".", "-", "_"}},
        corpus_row{"[\\101\\x42]", {"A", "B", "C"}},
        corpus_row{"[\\cA\\e]", {"\x01", "\x1b", "a"}}),
    row_name);

// Anchors and word boundaries.
INSTANTIATE_TEST_SUITE_P(
    Anchors, Pcre2Differential,
    testing::Values(corpus_row{"^a", {"a", "b", "\n"}}, corpus_row{"a$", {"a", "b", "\n"}},
                    corpus_row{"^$", {"a", "\n"}}, corpus_row{"^", {"a", "\n"}},
                    corpus_row{"$", {"a", "\n"}}, corpus_row{"^a*", {"a", "b", "\n"}},
                    corpus_row{"\\Aa", {"a", "\n"}}, corpus_row{"a\\Z", {"a", "\n"}},
                    corpus_row{"a\\z", {"a", "\n"}}, corpus_row{"^a|b$", {"a", "b", "\n"}},
                    corpus_row{"\\bab\\b", {"a", "b", " ", "\xe9"}}, corpus_row{"\\Ba", {"a", " "}},
                    corpus_row{"a\\B", {"a", " "}}, corpus_row{"\\b", {"a", " "}},
                    corpus_row{"\\B", {"a", " "}}, corpus_row{"^(a+)$", {"a", "\n", "\r"}},
                    corpus_row{"(^|b)a", {"a", "b", "\n"}},
                    corpus_row{"a(\\Z|b)", {"a", "b", "\n"}}),
    row_name);

// Groups, alternation, back-references.
INSTANTIATE_TEST_SUITE_P(
    Groups, Pcre2Differential,
    testing::Values(corpus_row{"(a)", {"a", "b"}}, corpus_row{"(a)(b)?", {"a", "b"}},
                    corpus_row{"(a|ab)c", {"a", "b", "c"}},
                    corpus_row{"(a|ab)(c|bcd)(d*)", {"a", "b", "c", "d"}},
                    corpus_row{"(?:a)(b)", {"a", "b"}}, corpus_row{"((a)b)", {"a", "b"}},
                    corpus_row{"(?:(a)|b)+", {"a", "b"}}, corpus_row{"((a)|b)+", {"a", "b"}},
                    corpus_row{"(a)|b", {"a", "b"}}, corpus_row{"()", {"a"}},
                    corpus_row{"(|a)b", {"a", "b"}}, corpus_row{"ab|cd|ef", {"ab", "cd", "e", "f"}},
                    corpus_row{"ab|ac", {"a", "b", "c"}}, corpus_row{"a|b|", {"a", "b", "c"}},
                    corpus_row{"|a", {"a", "b"}}, corpus_row{"abc|abd|b", {"ab", "c", "d"}},
                    corpus_row{"(a)\\1", {"a", "A", "b"}}, corpus_row{"(a|b)\\1", {"a", "b", "B"}},
                    corpus_row{"(a*)b\\1", {"a", "b"}}, corpus_row{"(a)?\\1", {"a", "b"}},
                    corpus_row{"(\\w+) \\1", {"a", "B", " "}},
                    corpus_row{"(a)(b)\\2\\1", {"a", "b", "A"}},
                    corpus_row{"(?:(a)|b)\\1", {"a", "b"}}, corpus_row{"(a)|(b)\\2", {"a", "b"}}),
    row_name);

// Independent groups, look-around, conditionals on assertions.
INSTANTIATE_TEST_SUITE_P(
    Extensions, Pcre2Differential,
    testing::Values(
        corpus_row{"(?>a|ab)c", {"a", "b", "c"}}, corpus_row{"(?>a*)a", {"a", "b"}},
        corpus_row{"(?>a+)b", {"a", "b"}}, corpus_row{"(?>(a+))b?", {"a", "b"}},
        corpus_row{"(?>a|b)*c", {"a", "b", "c"}}, corpus_row{"a(?=b)", {"a", "b"}},
        corpus_row{"a(?!b)", {"a", "b"}}, corpus_row{"(?=(a))a", {"a", "b"}},
        corpus_row{"(?=a)", {"a", "b"}}, corpus_row{"(?!a)", {"a", "b"}},
        corpus_row{"(?=a|b)\\w", {"a", "b", "c"}}, corpus_row{"(?!(a)b)(\\w)", {"a", "b"}},
        corpus_row{"(?<=a)b", {"a", "b"}}, corpus_row{"(?<!a)b", {"a", "b"}},
        corpus_row{"(?<=ab)c", {"a", "b", "c"}}, corpus_row{"(?<=a|bc)d", {"a", "b", "c", "d"}},
        corpus_row{"(?<=(a))b", {"a", "b"}}, corpus_row{"(?<![a-c])\\d", {"a", "1", "d"}},
        corpus_row{"(?<=\\d{2})x", {"1", "x"}}, corpus_row{"(?<=^a)b", {"a", "b", "\n"}},
        corpus_row{"(?<!\\n)$", {"a", "\n"}, regex::normalize},
        corpus_row{"(?(?=a)ab|cd)", {"a", "b", "c", "d"}},
        corpus_row{"(?(?!a)b|ac)", {"a", "b", "c"}}, corpus_row{"(?(?<=a)b|c)", {"a", "b", "c"}},
        corpus_row{"(?(?=a)a)b", {"a", "b"}}, corpus_row{"(?i)ab", {"a", "A", "b", "B"}},
        corpus_row{"(?i:a)b", {"a", "A", "b", "B"}}, corpus_row{"a(?i)b", {"a", "A", "b", "B"}},
        corpus_row{"(a(?i)b)c", {"a", "A", "b", "B", "c", "C"}},
        corpus_row{"(?-i)a", {"a", "A"}, regex::ignore_case | fixed_flags},
        corpus_row{"(?i-s:a.)b", {"a", "A", "\n", "b"}, regex::single_line | fixed_flags},
        corpus_row{"(?s).", {"a", "\n"}}, corpus_row{"(?m)^a", {"a", "\n"}},
        corpus_row{"(?m:a$)\\n", {"a", "\n"}, regex::normalize},
        corpus_row{"(?x) a b # note", {"a", "b", " "}},
        corpus_row{"a +[ ]", {"a", " "}, regex::extended},
        corpus_row{"a\\ b", {"a", " ", "b"}, regex::extended}),
    row_name);

// The system's own patterns under the flags every caller uses.
constexpr std::uint32_t caller_flags =
    regex::ignore_case | regex::global | regex::single_line | regex::all_backrefs | fixed_flags;

std::string google_pattern(std::string_view second) {
    const std::string head =
        "<div id=ssb><div id=prs>.*</div><p id=resultStats>&nbsp;.*?<b>([0-9,]*?)</b>";
    return "<div id=resultStats>[^0-9]*([0-9,]*).*?<nobr>|" + head + std::string(second) + "|" +
           head + " for|" + head + " \xb8\xf6|" + head + " ";
}

INSTANTIATE_TEST_SUITE_P(
    SystemPatterns, Pcre2Differential,
    testing::Values(
        corpus_row{"([^\r\n]*?)[\r\n]+", {"a", "\r", "\n", ".", " "}, caller_flags},
        corpus_row{"^([0-9a-zA-Z\\.-]+)$", {"a", "Z", ".", "-", " ", "\n"}, caller_flags},
        corpus_row{"<POPULARITY URL=.*? TEXT=\"([0-9]*?)\"",
                   {"<POPULARITY URL=", "<popularity url=", "x", " TEXT=\"", " text=\"", "12", "-",
                    "\"", "\n"},
                   caller_flags},
        corpus_row{google_pattern(" from"),
                   {"<div id=resultStats>", "About ", "1,230", "<nobr>", "<div id=ssb><div id=prs>",
                    "</div><p id=resultStats>&nbsp;", "<b>", "</b>", " from", " for", " \xb8\xf6",
                    "<DIV ID=RESULTSTATS>"},
                   caller_flags},
        corpus_row{google_pattern(" linking to"),
                   {"<div id=ssb><div id=prs>", "</div>", "<p id=resultStats>&nbsp;", "<b>", "9,9",
                    "</b>", " linking to", " from", " "},
                   caller_flags},
        corpus_row{
            "\xb0\xd9\xb6\xc8\xd2\xbb\xcf\xc2\xa3\xac\xd5\xd2\xb5\xbd\xcf\xe0\xb9\xd8\xcd\xf8"
            "\xd2\xb3[^0-9]*([0-9,]*?)\xc6\xaa",
            {"\xb0\xd9\xb6\xc8\xd2\xbb\xcf\xc2\xa3\xac\xd5\xd2\xb5\xbd\xcf\xe0\xb9\xd8\xcd\xf8"
             "\xd2\xb3",
             "\xd4\xbc", "1,2", "30", "\xc6\xaa", "\xc6", "x"},
            caller_flags}),
    row_name);

// Cases the fuzz target found: the first bytes a repeated group may begin
// with, when its body begins with a back-reference or a group that can match
// the empty string; an empty first alternative of an independent group.
INSTANTIATE_TEST_SUITE_P(
    FuzzFindings, Pcre2Differential,
    testing::Values(
        corpus_row{"()(?:\\1a)?B", {"a", "B", "x"}},
        corpus_row{"(||).{2,}?(\\b\\b^$|\\1?a{1}?|)*?\\W", {"abaa\0"s}, 3 | fixed_flags},
        corpus_row{"(?-i)|.(?-i:(?:(?-ms:(b|a|){0,}\\1*?.{2}?)??\\S\\1{0,}?){0,1})",
                   {"\0-1\raaaB-.\xe9\n"s},
                   331 | fixed_flags},
        corpus_row{"(?-m)(((|\\w+?\\S|)\\3(?-ms:\\D{2,2}\\D\\D{2,2}?|)*||){0,1}?.()){1,}|^^",
                   {"\n\xb8"
                    "a_\n-_ 1\ra_"},
                   387 | fixed_flags},
        corpus_row{"-?(?>|_)\\S", {"c", "\0"s, "\n", "-", "\r", "_"}}),
    row_name);

} // namespace
