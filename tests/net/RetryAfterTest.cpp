#include "net/RetryAfter.h"

#include <gtest/gtest.h>

namespace {

// Sun, 06 Nov 1994 08:49:37 GMT
constexpr std::time_t kNow = 784111777;

struct RetryAfterCase {
    const char* pszName;
    const char* pszValue;
    long nExpected;
};

class RetryAfterTest : public testing::TestWithParam<RetryAfterCase> {};

TEST_P(RetryAfterTest, SecondsOrADateClampedToTheLongest) {
    EXPECT_EQ(RetryAfterSeconds(GetParam().pszValue, kNow), GetParam().nExpected)
        << GetParam().pszValue;
}

INSTANTIATE_TEST_SUITE_P(
    Values, RetryAfterTest,
    testing::Values(RetryAfterCase{"Seconds", "60", 60}, RetryAfterCase{"Zero", "0", 0},
                    RetryAfterCase{"TheLongest", "3600", kLongestRetryAfter},
                    RetryAfterCase{"Longer", "86400", kLongestRetryAfter},
                    // Once cut to its low 32 bits: 2.
                    RetryAfterCase{"PastAnInt", "4294967298", kLongestRetryAfter},
                    RetryAfterCase{"PastAnyInteger", "99999999999999999999999", kLongestRetryAfter},
                    RetryAfterCase{"Negative", "-5", 0}, RetryAfterCase{"Fraction", "1.5", 0},
                    RetryAfterCase{"TrailingText", "60s", 0}, RetryAfterCase{"Words", "soon", 0},
                    RetryAfterCase{"Empty", "", 0},
                    RetryAfterCase{"ImfDate", "Sun, 06 Nov 1994 08:51:37 GMT", 120},
                    RetryAfterCase{"Rfc850Date", "Sunday, 06-Nov-94 08:50:37 GMT", 60},
                    RetryAfterCase{"AsctimeDate", "Sun Nov  6 08:49:47 1994", 10},
                    RetryAfterCase{"DateNow", "Sun, 06 Nov 1994 08:49:37 GMT", 0},
                    RetryAfterCase{"DatePast", "Sat, 05 Nov 1994 08:49:37 GMT", 0},
                    RetryAfterCase{"DateFarAhead", "Fri, 31 Dec 1999 23:59:59 GMT",
                                   kLongestRetryAfter}),
    [](const testing::TestParamInfo<RetryAfterCase>& info) { return info.param.pszName; });

} // namespace
