#include "regex/detail/memo_planner.h"

#include "regex/detail/stack_limit.h"

namespace regex::detail {

namespace {

class memo_planner {
public:
    explicit memo_planner(program& prog) : m_prog(prog) {}

    // Numbers the points of the sequence from `n` to its group's end; false
    // when something in it needs the budgeted search. `guard` is the
    // innermost enclosing unbounded group repetition, or -1.
    bool sequence(node* n, std::int32_t guard);

private:
    bool group(group_node& g, std::int32_t guard);
    bool repeat(repeat_node& r, std::int32_t guard);
    std::uint32_t point(std::int32_t guard);
    void point_at(node* n, std::int32_t guard) {
        if (n->memo == 0)
            n->memo = point(guard);
    }

    program& m_prog;
};

std::uint32_t memo_planner::point(std::int32_t guard) {
    m_prog.memo_guard.push_back(guard);
    return static_cast<std::uint32_t>(m_prog.memo_guard.size());
}

bool memo_planner::sequence(node* n, std::int32_t guard) {
    if (stack_low())
        return false;
    for (;; n = n->next) {
        switch (n->kind) {
        case op::literal:
        case op::one_byte:
        case op::subject_begin:
        case op::line_begin:
        case op::end_or_final_lf:
        case op::line_end:
        case op::subject_end:
        case op::word_boundary:
        case op::not_word_boundary:
            break;
        case op::star: {
            auto& s = static_cast<star_node&>(*n);
            if (s.max == unbounded)
                s.loop = point(guard);
            else // entered at several places, it can go on at one
                point_at(s.next, guard);
            break;
        }
        case op::group:
            if (!group(static_cast<group_node&>(*n), guard))
                return false;
            break;
        case op::repeat:
            if (!repeat(static_cast<repeat_node&>(*n), guard))
                return false;
            break;
        case op::group_end:
        case op::repeat_tail:
        case op::end_pattern:
            return true;
        default:
            return false;
        }
    }
}

bool memo_planner::group(group_node& g, std::int32_t guard) {
    if (g.kind != op::group)
        return false;
    for (std::uint32_t i = 0; i < g.alt_count; ++i)
        if (!sequence(g.alts[i], guard))
            return false;
    if (g.alt_count > 1)
        point_at(g.end, guard);
    return true;
}

bool memo_planner::repeat(repeat_node& r, std::int32_t guard) {
    const bool once = r.max <= 1;
    if (!once && !(r.min <= 1 && r.max == unbounded))
        return false; // a count to keep
    point_at(&r, guard);
    const std::int32_t inner = once ? guard : static_cast<std::int32_t>(r.id);
    if (!group(*r.body, inner))
        return false;
    if (!once)
        point_at(r.tail, inner);
    return true;
}

} // namespace

void plan_memo(program& prog) {
    memo_planner planner(prog);
    prog.memo_search = planner.sequence(prog.root, -1);
    // A pattern that is not taken keeps its numbers: the backtracking
    // matchers do not read them.
}

} // namespace regex::detail
