#include "regex/detail/linear_planner.h"

#include "regex/detail/byte_map.h"

namespace regex::detail {

namespace {

// Past the group ends that close groups before `n` goes on.
const node* past_group_ends(const node* n) {
    while (n->kind == op::group_end)
        n = as_end(n).owner->next;
    return n;
}

bool ends_pattern(const node* n) {
    return past_group_ends(n)->kind == op::end_pattern;
}

bool disjoint(const byte_table& a, const byte_table& b) {
    for (int i = 0; i < 4; ++i)
        if (a.bits[i] & b.bits[i])
            return false;
    return true;
}

// A repetition whose count does not depend on what is tried after it: the
// fewest (lazy, at the end of the pattern) or as many as there are.
bool decided(const star_node& s, bool& fewest) {
    fewest = false;
    if (s.min == s.max)
        return true;
    if (s.follow != nullptr && disjoint(*s.atom, *s.follow))
        return true;
    if (ends_pattern(s.next)) {
        fewest = !s.greedy;
        return true;
    }
    // Before $ or \z at the end: no earlier stop holds the anchor either,
    // as long as the atom refuses the line feed $ accepts.
    const node* anchor = past_group_ends(s.next);
    const bool lineFeed = s.atom->test('\n');
    return (anchor->kind == op::subject_end ||
            (anchor->kind == op::end_or_final_lf && !lineFeed)) &&
           ends_pattern(anchor->next);
}

// `map` is the table's byte map when one was built already.
linear_step span_of(program& prog, const byte_table& table, const std::uint8_t* map,
                    std::size_t min, std::size_t take) {
    linear_step step;
    step.min = min;
    step.take = take;
    byte_table refused = table;
    refused.invert();
    const int stops = refused.count();
    for (int i = 0; i < stops && i < 2; ++i) {
        step.stop[i] = refused.first_member();
        refused.reset(step.stop[i]);
    }
    using kind = linear_step::kind;
    step.what = stops == 0   ? kind::span_any
                : stops == 1 ? kind::span_stop1
                : stops == 2 ? kind::span_stop2
                             : kind::span_map;
    if (step.what == kind::span_map)
        step.map = map != nullptr ? map : byte_map(prog.arena, table);
    return step;
}

class planner {
public:
    explicit planner(program& prog) : m_prog(prog) {}

    // Adds the moves of the sequence from `n` to its group's end; false when
    // the sequence needs backtracking.
    bool sequence(const node* n, int depth);

    linear_plan plan;

private:
    bool group(const group_node& g, int depth);
    bool star(const star_node& s);
    void add(const linear_step& step) { plan.moves.push_back(step); }

    program& m_prog;
};

bool planner::sequence(const node* n, int depth) {
    for (;; n = n->next) {
        switch (n->kind) {
        case op::literal: {
            linear_step step;
            step.what = linear_step::kind::literal;
            step.lit = &as_lit(n);
            add(step);
            break;
        }
        case op::one_byte:
            add(span_of(m_prog, *as_set(n).table, nullptr, 1, 1));
            break;
        case op::star:
            if (!star(as_star(n)))
                return false;
            break;
        case op::group:
            if (!group(as_group(n), depth))
                return false;
            break;
        case op::subject_begin:
        case op::line_begin:
        case op::end_or_final_lf:
        case op::line_end:
        case op::subject_end:
        case op::word_boundary:
        case op::not_word_boundary: {
            linear_step step;
            step.what = linear_step::kind::anchor;
            step.anchor = n->kind;
            add(step);
            break;
        }
        case op::group_end:
        case op::end_pattern:
            return true;
        default:
            return false;
        }
    }
}

bool planner::group(const group_node& g, int depth) {
    if (g.alt_count != 1 || depth > 16)
        return false;
    const auto from = static_cast<std::uint32_t>(plan.moves.size());
    if (!sequence(g.alts[0], depth + 1))
        return false;
    const auto to = static_cast<std::uint32_t>(plan.moves.size());
    if (g.capture >= 0)
        plan.groups.push_back({static_cast<std::uint32_t>(g.capture), from, to});
    return true;
}

bool planner::star(const star_node& s) {
    bool fewest = false;
    if (s.kind != op::star || !decided(s, fewest))
        return false;
    add(span_of(m_prog, *s.atom, s.atom_map, s.min, fewest ? s.min : s.max));
    return true;
}

} // namespace

linear_plan plan_linear(program& prog) {
    // An empty match would bring in the rule against two at one place.
    if (prog.min_length == 0)
        return {};
    planner planned(prog);
    if (prog.capture_groups > linear_plan::max_groups || !planned.sequence(prog.root, 0) ||
        planned.plan.moves.size() > linear_plan::max_moves)
        return {};
    const linear_step& first = planned.plan.moves.front();
    planned.plan.anchored =
        first.what == linear_step::kind::anchor && first.anchor == op::subject_begin;
    return std::move(planned.plan);
}

} // namespace regex::detail
