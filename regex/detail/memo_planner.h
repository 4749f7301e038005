// Which patterns the linear-time search takes, and where it remembers.
//
// Patterns take one of three searches:
//  - the linear plan (linear_planner.h): one alternative whose every choice
//    is decided by the next byte; run once per start, no backtracking;
//  - the linear-time search: the iterative backtracking matcher that keeps a
//    visit_memo, for every pattern without back-references, recursion,
//    conditionals, look-around and atomic groups, whose group repetitions are
//    ?, *, + (greedy or lazy) or have at most one iteration. For these the
//    rest of a match from a node and a position does not depend on how the
//    search got there (group results only say where groups were, a
//    repetition of that kind has no count worth keeping), except for the
//    one rule that an iteration matching the empty string starts no other.
//    So the search never needs to be at a (point, position) twice: the first
//    visit either failed or lies on the way to the match found. Points are
//    where ways join (the end of a group of several alternatives, the entry
//    and tail of a group repetition, what follows a counted single-byte
//    repetition) and the positions an unbounded single-byte repetition went
//    through. Visits made while the innermost enclosing * or + is in an
//    iteration that has consumed nothing yet are not remembered: there the
//    empty-iteration rule can decide. Every position is then visited a
//    bounded number of times per point: time at most proportional to the
//    pattern's size times the subject's, results exactly the backtracking
//    ones. When every match ends at an end anchor and takes only some bytes
//    (program::tail_bytes), no start before the last other byte ahead of the
//    end can match, and the search skips those starts: `(a+)+$` on a long
//    run of 'a' then '!' is then done without a step. The plain
//    backtracking search is tried first within a few steps a byte
//    (run_match.cpp), since genuine replies need far fewer and the memory's
//    set-up would cost them more than their whole match;
//  - the budgeted search, for all other patterns (back-references and the
//    rest above can need exponential time): the backtracking matchers, which
//    a caller may give a step budget.
#pragma once

#include "regex/detail/program.h"

namespace regex::detail {

// Decides prog.memo_search and numbers the points (node::memo, star_node::
// loop, prog.memo_guard). Needs the analysis's follow tables.
void plan_memo(program& prog);

} // namespace regex::detail
