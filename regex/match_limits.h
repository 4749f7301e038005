// Bounds a caller may put on one match call: a step budget for the patterns
// that keep the backtracking search, and a flag that ends the call early.
#pragma once

#include <atomic>
#include <cstdint>

namespace regex {

struct match_limits {
    // Steps the backtracking search may take before it gives up; 0 leaves it
    // unbounded. Patterns searched in linear time are never cut short by it.
    std::uint64_t step_budget = 0;
    // Read every few thousand steps; the call ends soon after it turns true.
    const std::atomic<bool>* cancel = nullptr;
    // The plain backtracking search even for a pattern the linear-time search
    // takes, so that the two can be compared; the results are the same.
    bool backtrack_only = false;
    // The linear-time search with its memory of visits from the start,
    // without first trying the plain backtracking search within a few steps
    // a byte; the results are the same. For tests of that search.
    bool linear_at_once = false;
};

enum class match_status {
    found,     // at least one match was recorded
    not_found, // no match
    too_long,  // the step budget ran out; the results are empty
    cancelled, // the cancel flag was seen; the results are empty
};

} // namespace regex
