// A pattern as the analysis plans it (linear_planner.h) and the linear
// matcher (linear_matcher.h) runs it: the moves that consume bytes or test a
// position, and where every group begins and ends among them.
#pragma once

#include "regex/detail/nodes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace regex::detail {

struct linear_step {
    // A span takes between min and take bytes, stopping early at a byte the
    // set refuses; how it finds that byte is part of its kind.
    enum class kind : std::uint8_t {
        span_any,   // every byte
        span_stop1, // all but stop[0]: memchr
        span_stop2, // all but stop[0] and stop[1]: sixteen at a time
        span_map,   // any other set: one lookup a byte
        literal,
        anchor,
    };
    kind what = kind::span_map;
    unsigned char stop[2] = {0, 0};
    op anchor = op::subject_begin; // anchor
    std::size_t min = 0;
    std::size_t take = 0;              // max, or min when the fewest are wanted
    const std::uint8_t* map = nullptr; // span_map
    const lit_node* lit = nullptr;     // literal
};

// Capturing group `number` spans from the place before move `from` to the
// place before move `to` (the end when `to` is the number of moves).
struct linear_group {
    std::uint32_t number = 0;
    std::uint32_t from = 0;
    std::uint32_t to = 0;
};

struct linear_plan {
    static constexpr std::size_t max_moves = 32;
    static constexpr std::size_t max_groups = 16; // capturing groups and group 0
    std::vector<linear_step> moves;
    std::vector<linear_group> groups;
    // The first move tests for the subject begin: with every match non-empty,
    // the one place a match can start, however the search is run.
    bool anchored = false;
    bool empty() const { return moves.empty(); }
};

} // namespace regex::detail
