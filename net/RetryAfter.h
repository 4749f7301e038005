#pragma once

#include <ctime>
#include <string_view>

// The longest delay a Retry-After is taken to ask for, in seconds: a larger
// one, however large, is read as this.
constexpr long kLongestRetryAfter = 3600;

// The delay a Retry-After header's value asks for, in seconds from tNow: its
// number of seconds, or the time to the HTTP date it names; at most
// kLongestRetryAfter; 0 when the value is neither, or the delay is not
// positive.
long RetryAfterSeconds(std::string_view strValue, std::time_t tNow);
