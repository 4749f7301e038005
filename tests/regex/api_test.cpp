// The public surface: what a caller reads from a compiled pattern and from
// the results of a call.
#include "regex/regex.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(RegexApi, NullBackrefIsUnmatchedAndEmpty) {
    EXPECT_FALSE(regex::null_backref.matched);
    EXPECT_EQ(regex::null_backref.first, nullptr);
    EXPECT_EQ(regex::null_backref.text(), "");
    EXPECT_EQ(regex::null_backref.length(), 0u);
}

TEST(RegexApi, MatchAnswersNullBackrefWhenNothingMatches) {
    const regex::compiled_pattern pattern("x(y)", 0x8B);
    regex::match_backrefs results;
    EXPECT_EQ(&pattern.match("abc", results), &regex::null_backref);
    EXPECT_EQ(results.group_count(), 0u); // global: the list of no match is empty
    EXPECT_THROW(results.group(0), std::out_of_range);
}

TEST(RegexApi, MatchAnswersTheFirstWholeMatch) {
    const regex::compiled_pattern pattern("x(y)?", 0x8B);
    regex::match_backrefs results;
    const std::string subject = "axyx";
    const regex::backref_tag& whole = pattern.match(subject, results);
    ASSERT_TRUE(whole.matched);
    EXPECT_EQ(whole.text(), "xy");
    EXPECT_EQ(whole.first, subject.data() + 1);
    EXPECT_EQ(whole.second, subject.data() + 3);
    EXPECT_EQ(results.subject_begin(), subject.data());
    ASSERT_EQ(results.group_count(), 4u);
    EXPECT_EQ(results.group(1).text(), "y");
    EXPECT_EQ(results.group(2).text(), "x");
    EXPECT_FALSE(results.group(3).matched);
    EXPECT_EQ(results.group(3).text(), "");
    EXPECT_THROW(results.group(4), std::out_of_range);
}

TEST(RegexApi, ResultsAreOverwrittenByTheNextCall) {
    const regex::compiled_pattern pattern("(a)(b)(c)");
    const regex::compiled_pattern other("z");
    regex::match_backrefs results;
    EXPECT_TRUE(regex::run_match(pattern, results, "abc"));
    EXPECT_EQ(results.group_count(), 4u);
    EXPECT_FALSE(regex::run_match(other, results, "abc"));
    ASSERT_EQ(results.group_count(), 1u); // without global: one unmatched entry
    EXPECT_FALSE(results.group(0).matched);
    const regex::compiled_pattern anchored("^(a)(b)");
    EXPECT_TRUE(regex::run_match(anchored, results, "ab"));
    EXPECT_FALSE(regex::run_match(anchored, results, "xab"));
    ASSERT_EQ(results.group_count(), 3u); // every group, unmatched
    EXPECT_FALSE(results.group(0).matched || results.group(1).matched || results.group(2).matched);
}

TEST(RegexApi, SubjectsByRangeViewOrTerminatingZero) {
    const regex::compiled_pattern pattern("b+");
    regex::match_backrefs results;
    const char text[] = "abbc\0bbbb";
    EXPECT_EQ(pattern.match(text, results).length(), 2u);
    EXPECT_EQ(pattern.match(text + 4, text + 9, results).length(), 4u);
    EXPECT_EQ(pattern.match(std::string_view(text, 9), results).length(), 2u);
    EXPECT_TRUE(regex::run_match(pattern, results, std::string_view("xb")));
}

TEST(RegexApi, PatternReportsWhatItWasCompiledFrom) {
    regex::compiled_pattern pattern("(a)(?:b)(c){2,5}", regex::ignore_case | regex::global,
                                    regex::mode_iterative);
    EXPECT_EQ(pattern.text(), "(a)(?:b)(c){2,5}");
    EXPECT_EQ(pattern.flags(), 0x3u);
    EXPECT_EQ(pattern.mode(), regex::mode_iterative);
    EXPECT_EQ(pattern.group_count(), 3u);
    EXPECT_EQ(pattern.min_length(), 4u);
    EXPECT_EQ(pattern.max_length(), 7u);
    EXPECT_EQ(regex::compiled_pattern("a*").max_length(), SIZE_MAX);

    regex::compiled_pattern moved(std::move(pattern));
    regex::match_backrefs results;
    EXPECT_EQ(moved.match("ABCC", results).text(), "ABCC");
}

TEST(RegexApi, BadPatternIsAnInvalidArgument) {
    try {
        regex::compiled_pattern pattern("a{2,1}");
        FAIL() << "compiled";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Can't do {n, m} with n > m");
    }
}

// The shared class sets and the per-thread stack bound are built on first use
// from whichever threads get there first.
TEST(RegexApi, PatternsCompileAndMatchOnManyThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::vector<std::string> found(8);
    for (std::size_t t = 0; t < found.size(); ++t)
        threads.emplace_back([t, &found] {
            const regex::compiled_pattern pattern("\\d+\\s\\w+[[:alpha:]]\\b\\S\\W\\D", 0x8B);
            regex::match_backrefs results;
            found[t] = pattern.match("x 12 ab_c. q", results).text();
        });
    for (auto& thread : threads)
        thread.join();
    for (const auto& text : found)
        EXPECT_EQ(text, "12 ab_c. q");
}

} // namespace
