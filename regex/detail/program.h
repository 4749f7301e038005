// Everything a compiled pattern holds: its text, flags, node tree (in the
// arena), group numbering and the facts the start analysis found.
#pragma once

#include "regex/pattern_flags.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace regex::detail {

class program {
public:
    std::string text;
    std::uint32_t flags = 0;
    match_mode mode = mode_recursive;
    std::size_t all_groups = 1;            // group 0, capturing and non-capturing numbers
    std::size_t capture_groups = 1;        // capturing groups plus one
    std::vector<std::size_t> noncapturing; // ascending
    std::size_t min_length = 0;
    std::size_t max_length = SIZE_MAX;
    bool try_later_starts = true;
    bool recursion_safe = true;
};

} // namespace regex::detail
