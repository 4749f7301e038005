// The linear plan, made by the analysis: for patterns whose every choice is
// decided by the next byte, a plain sequence of moves for the linear matcher
// (linear_matcher.h) to run once. A pattern qualifies when it is one
// alternative of literals, single-byte sets, anchors and plain groups, and
// every repetition of a single-byte atom either has a fixed count, or is
// followed by something that must begin with a byte the atom refuses, or
// ends the pattern. Such a repetition takes the same count whatever the
// backtracking order, so greedy and lazy forms are run as one scan. The
// import line and entry patterns are of this kind, as are many short
// patterns.
#pragma once

#include "regex/detail/linear_step.h"
#include "regex/detail/program.h"

namespace regex::detail {

// The moves of a pattern that qualifies; an empty plan for any other. Needs
// the follow tables and length bounds the analysis fills in before.
linear_plan plan_linear(program& prog);

} // namespace regex::detail
