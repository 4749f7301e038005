// The public surface: result objects and their contracts.
#include "regex/regex.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(RegexApi, NullBackrefIsUnmatchedAndEmpty) {
    EXPECT_FALSE(regex::null_backref.matched);
    EXPECT_EQ(regex::null_backref.first, nullptr);
    EXPECT_EQ(regex::null_backref.text(), "");
}

TEST(RegexApi, GroupBeyondCountThrowsOutOfRange) {
    regex::match_backrefs results;
    EXPECT_THROW(results.group(0), std::out_of_range);
}

TEST(RegexApi, BadRegexprIsInvalidArgument) {
    EXPECT_THROW(throw regex::bad_regexpr("quantifier not expected"), std::invalid_argument);
}

} // namespace
