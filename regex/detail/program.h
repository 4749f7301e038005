// Everything a compiled pattern holds: its text and flags, the node tree in
// its arena, the group numbering, and what the analysis after parsing found
// (length bounds, first bytes, the literal prefix for the start scanner).
#pragma once

#include "regex/detail/arena_allocator.h"
#include "regex/detail/linear_step.h"
#include "regex/detail/nodes.h"
#include "regex/detail/start_scanner.h"
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
    arena_allocator arena;

    group_node* root = nullptr;            // group 0
    node* end_pattern = nullptr;           // after group 0
    std::size_t all_groups = 1;            // group 0, capturing and non-capturing numbers
    std::size_t capture_groups = 1;        // capturing groups plus one
    std::vector<std::size_t> noncapturing; // numbers taken by non-capturing constructs
    std::size_t repeat_count = 0;          // group repetitions: counters in the match state

    std::size_t min_length = 0;
    std::size_t max_length = unbounded;
    bool try_later_starts = true;
    bool recursion_safe = true;

    const byte_table* first_bytes = nullptr; // bytes every match begins with, when known
    int first_single = -1;                   // the only member of first_bytes, if one
    start_scanner scanner;                   // empty when there is no literal prefix
    linear_plan linear;                      // the moves, when no match needs backtracking

    // The linear-time search (memo_planner.h): whether the pattern takes it,
    // and per point the repetition whose empty iteration the point's visits
    // must not be remembered in (-1: none).
    bool memo_search = false;
    std::vector<std::int32_t> memo_guard;
    // When every match ends at an end anchor ($ without multiline, \Z, \z)
    // and takes only bytes of this table (null otherwise): no match starts
    // before the last other byte ahead of where it can end.
    const byte_table* tail_bytes = nullptr;
    bool tail_final_lf = false; // one of those anchors also holds before a final '\n'
};

} // namespace regex::detail
