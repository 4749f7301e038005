// The linear-time search: which patterns take it, that its results are
// those of the backtracking search on the cases where the two could part
// (empty iterations, nested repetitions, alternatives that join, successive
// matches), that inputs which make backtracking explode are done with, and
// the step budget and the cancel flag of the backtracking search.
#include "regex_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>

namespace {

using regex_test::backtracking;

TEST(LinearSearch, WhichPatternsTakeIt) {
    const struct {
        const char* pattern;
        bool linear;
    } rows[] = {
        {"abc", true},
        {"(a+)+$", true},
        {"(?:a|ab)*?(c|bcd)(d*)", true},
        {"^([0-9a-zA-Z\\.-]+)$", true},
        {"(x)?y", true},
        {"(ab){0,1}", true},
        {"a{2,5}[b-d]{3}", true},
        {"(?i)\\bword\\B$", true},
        {"(ab){2,5}", false}, // a count to keep
        {"(a)\\1", false},    // back-reference
        {"(?=a)a", false},    // look-ahead
        {"(?<=a)b", false},   // look-behind
        {"(?>a+)b", false},   // atomic group
        {"(a)?(?(1)b|c)", false},
        {"a(?R)b|c", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(regex::compiled_pattern(row.pattern).linear_time(), row.linear) << row.pattern;
}

// Rows where remembering a failed (point, position) would be wrong if the
// empty-iteration rule, the order of alternatives or a previous match were
// not minded; every row runs through both searches (regex_test::run checks).
TEST(LinearSearch, AgreesWithBacktrackingWhereTheyCouldPart) {
    const struct {
        const char* pattern;
        std::uint32_t flags;
        const char* subject;
        const char* expected;
    } rows[] = {
        {"(a*)*b", regex::noflags, "aaab", "aaab@0 | @3"},
        {"(a*)+b", regex::noflags, "aac", "none"},
        {"(x?a*)*y", regex::noflags, "xaxaay", "xaxaay@0 | @5"},
        {"(?:a|)*b", regex::noflags, "aab", "aab@0"},
        {"(a?)+?b", regex::noflags, "aab", "aab@0 | a@1"},
        {"(a|ab)(c|bcd)(d*)", regex::noflags, "abcd", "abcd@0 | a@0 | bcd@1 | @4"},
        {"(a+)+$", regex::noflags, "aaaa!", "none"},
        {"(a+)+$", regex::noflags, "aaaa", "aaaa@0 | aaaa@0"},
        {"(a|b)*?c", regex::global | regex::all_backrefs, "abcbac", "abc@0 | b@1 | bac@3 | a@4"},
        {"x*", regex::global | regex::all_backrefs, "axxb", "@0 | xx@1 | @3 | @4"},
        {"(a*)(b?)", regex::global | regex::all_backrefs, "ab", "ab@0 | a@0 | b@1 | @2 | @2 | @2"},
        {".*?b", regex::global | regex::single_line | regex::all_backrefs, "abab", "ab@0 | ab@2"},
        {"(a+)+b", regex::rightmost | regex::global | regex::all_backrefs, "aabab", "ab@3 | a@3"},
        {"<(.*)>(.*?)</\\1>|<p>", regex::noflags, "<p>x</p>", "<p>x</p>@0 | p@1 | x@3"},
    };
    for (const auto& row : rows)
        for (regex::match_mode mode : regex_test::both_modes)
            EXPECT_EQ(regex_test::run(row.pattern, row.flags, mode, row.subject), row.expected)
                << row.pattern << " over " << row.subject << ", " << regex_test::mode_name(mode);
}

// Random patterns over a small alphabet, nested repetitions and empty
// alternatives included, against the backtracking search.
TEST(LinearSearch, AgreesWithBacktrackingOnRandomPatterns) {
    std::mt19937 random(17);
    const char* atoms[] = {"a",    "b",  "ab",   ".",        "[ab]", "a?", "b*", "(a|b)",
                           "(a|)", "()", "(a*)", "(?:ab|a)", "x",    "$",  "^",  "\\b"};
    const char* repeats[] = {"", "", "*", "+", "?", "*?", "+?", "{0,2}"};
    const char* subjects[] = {
        "",         "a",         "ab",   "aab",     "abab", "bba", "aaaaaaaaaaaaaaaaaaab",
        "ab ba ab", "baaabaaab", "ab\n", "aab\nab", "b\n",  "\n"};
    for (int n = 0; n < 400; ++n) {
        std::string pattern;
        const int parts = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < parts; ++i) {
            std::string part = atoms[random() % std::size(atoms)];
            if (random() % 3 == 0)
                part = "(" + part + atoms[random() % std::size(atoms)] + ")";
            if (part != "$" && part != "^" && part != "\\b")
                part += repeats[random() % std::size(repeats)];
            pattern += part;
            if (random() % 6 == 0)
                pattern += "|";
        }
        const std::uint32_t flags =
            random() % 2 ? regex::global | regex::all_backrefs : regex::noflags;
        try {
            if (!regex::compiled_pattern(pattern, flags).linear_time())
                continue;
        } catch (const regex::bad_regexpr&) {
            continue; // a quantifier after a quantifier or an anchor
        }
        for (const char* subject : subjects)
            regex_test::run(pattern, flags, regex::mode_recursive, subject);
    }
}

// A pattern whose every match ends at an end anchor and takes only some bytes
// starts no match before the last other byte: rows where skipping those
// starts could go wrong (a final line feed, either case, groups and
// alternatives before the anchor, successive and empty matches, anchors that
// do not allow it); every row runs through both searches.
TEST(LinearSearch, EndAnchorSkipAgreesWithBacktracking) {
    const struct {
        const char* pattern;
        std::uint32_t flags;
        const char* subject;
        const char* expected;
    } rows[] = {
        {"(a+)+$", regex::noflags, "aa!aaa", "aaa@3 | aaa@3"},
        // Fewer bytes after the last other byte than a match needs.
        {"(abc|acd)+$", regex::noflags, "xxxxxxc", "none"},
        {"(abc|acd)+$", regex::noflags, "xxxxabc", "abc@4 | abc@4"},
        {"(a+)+$", regex::noflags, "aa!aaa\n", "aaa@3 | aaa@3"},
        {"(a+)+$", regex::noflags, "aa!aaa\n\n", "none"},
        {"(a+)+\\z", regex::noflags, "aaa\n", "none"},
        {"(a+)+\\Z", regex::noflags, "b\naaa\n", "aaa@2 | aaa@2"},
        {"(a|\n)+$", regex::noflags, "b\na\n", "\na\n@1 | \n@3"},
        {"(A+)+$", regex::ignore_case, "xaAa", "aAa@1 | aAa@1"},
        {"(?:ab|b)*c$", regex::noflags, "xabbc", "abbc@1"},
        {"(?:x|(a*)$)", regex::noflags, "baa", "aa@1 | aa@1"},
        {"(?:a+$|b+\\z)", regex::noflags, "abb", "bb@1"},
        {"a*$", regex::global | regex::all_backrefs, "baa\n", "aa@1 | @3 | @4"},
        {"a*$", regex::multiline | regex::global | regex::all_backrefs, "aa\nba",
         "aa@0 | @2 | a@4 | @5"},
        {"(a+)+$", regex::rightmost | regex::global | regex::all_backrefs, "aa!a", "a@3 | a@3"},
        {"\\ba+$", regex::noflags, "a!aa", "aa@2"},
    };
    for (const auto& row : rows)
        for (regex::match_mode mode : regex_test::both_modes)
            EXPECT_EQ(regex_test::run(row.pattern, row.flags, mode, row.subject), row.expected)
                << row.pattern << " over " << regex_test::printable(row.subject) << ", "
                << regex_test::mode_name(mode);
}

// A subject the end-anchor skip proves hopeless takes no step: even a cancel
// flag set before the call is not reached.
TEST(LinearSearch, EndAnchorSkipTakesNoStepOnAHopelessSubject) {
    const regex::compiled_pattern pattern("(a+)+$", 0x8B);
    const std::string subject = std::string(1 << 16, 'a') + "!";
    const std::atomic<bool> cancel{true};
    regex::match_limits limits;
    limits.cancel = &cancel;
    limits.linear_at_once = true;
    regex::match_backrefs results;
    EXPECT_EQ(
        regex::run_match(pattern, results, subject.data(), subject.data() + subject.size(), limits),
        regex::match_status::not_found);
}

// Inputs that made backtracking take seconds to hours finish, with the
// backtracking results on a size backtracking can still do.
TEST(LinearSearch, HostileInputsAreDoneWith) {
    const std::string nested = std::string(1 << 16, 'a') + "!";
    EXPECT_EQ(regex_test::run_limited(regex::compiled_pattern("(a+)+$"), nested, {}), "none");
    std::string blocks;
    while (blocks.size() < (256u << 10))
        blocks += "<div id=ssb><div id=prs></div><p id=resultStats>&nbsp;";
    const regex::compiled_pattern site(
        "<div id=resultStats>[^0-9]*([0-9,]*).*?<nobr>|<div id=ssb><div id=prs>.*</div><p "
        "id=resultStats>&nbsp;.*?<b>([0-9,]*?)</b> from",
        0x8B);
    EXPECT_EQ(regex_test::run_limited(site, blocks, {}), "none");
    const std::string withValue = blocks + "<b>1,230</b> from";
    regex::match_backrefs results;
    ASSERT_TRUE(regex::run_match(site, results, withValue));
    EXPECT_EQ(results.group(2).text(), "1,230");
    EXPECT_EQ(results.group(0).first, withValue.data() + 0);
}

// A pattern the backtracking search keeps: exponential on this subject.
const char* const explosive = "(a|aa)+\\1b";

TEST(LinearSearch, BudgetEndsTheBacktrackingSearch) {
    const regex::compiled_pattern pattern(explosive, 0x8B);
    ASSERT_FALSE(pattern.linear_time());
    const std::string subject(60, 'a');
    regex::match_limits limits;
    limits.step_budget = 100000;
    regex::match_backrefs results;
    EXPECT_EQ(
        regex::run_match(pattern, results, subject.data(), subject.data() + subject.size(), limits),
        regex::match_status::too_long);
    EXPECT_EQ(results.group_count(), 0u);
    // Within the budget the answer is the ordinary one.
    const std::string small = "aaab";
    EXPECT_EQ(regex_test::run_limited(pattern, small, limits), "aaab@0 | a@1");
}

// A lazy repetition that reads to the end of the subject without finding
// what follows is charged for what it read, in both matchers: else a start a
// byte, each reading the rest of a long reply, takes time quadratic in the
// reply within any budget.
TEST(LinearSearch, BudgetCountsTheBytesAFailedLazySearchRead) {
    const std::string subject(1 << 16, 'x');
    for (regex::match_mode mode : regex_test::both_modes) {
        const regex::compiled_pattern pattern("(x)\\1?.*?y", 0x8B, mode);
        ASSERT_FALSE(pattern.linear_time());
        regex::match_limits limits;
        // A few steps a start never reach it; a read of the rest at each start does.
        limits.step_budget = 2'000'000;
        regex::match_backrefs results;
        EXPECT_EQ(regex::run_match(pattern, results, subject.data(),
                                   subject.data() + subject.size(), limits),
                  regex::match_status::too_long)
            << regex_test::mode_name(mode);
    }
}

TEST(LinearSearch, CancelFlagEndsAMatchInProgress) {
    for (regex::match_mode mode : regex_test::both_modes) {
        const regex::compiled_pattern pattern(explosive, 0x8B, mode);
        const std::string subject(200, 'a');
        std::atomic<bool> cancel{false};
        regex::match_limits limits;
        limits.cancel = &cancel;
        regex::match_status status = regex::match_status::found;
        std::thread matcher([&] {
            regex::match_backrefs results;
            status = regex::run_match(pattern, results, subject.data(),
                                      subject.data() + subject.size(), limits);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        cancel = true;
        matcher.join();
        EXPECT_EQ(status, regex::match_status::cancelled) << regex_test::mode_name(mode);
    }
}

TEST(LinearSearch, CancelFlagAlsoEndsTheLinearSearch) {
    const regex::compiled_pattern pattern("(a+)+b", 0x8B);
    const std::string subject = std::string(1 << 16, 'a') + "!";
    const std::atomic<bool> cancel{true};
    regex::match_limits limits;
    limits.cancel = &cancel;
    regex::match_backrefs results;
    EXPECT_EQ(
        regex::run_match(pattern, results, subject.data(), subject.data() + subject.size(), limits),
        regex::match_status::cancelled);
}

// The plain backtracking search of a pattern with no budget given: today's
// answer, however long it takes.
TEST(LinearSearch, NoLimitsMeanTodaysBehaviour) {
    const regex::compiled_pattern pattern(explosive, 0x8B);
    EXPECT_EQ(regex_test::run_limited(pattern, "aaaab", {}), "aaaab@0 | a@2");
    EXPECT_EQ(backtracking(pattern, "aaaab"), "aaaab@0 | a@2");
}

} // namespace
