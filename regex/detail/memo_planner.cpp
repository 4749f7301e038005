#include "regex/detail/memo_planner.h"

#include "regex/detail/char_class.h"
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

// Adds the bytes the sequence from `n` can take to `bytes`; false when it
// holds something whose text is not only what it takes (back-references,
// look-around, conditionals, recursion).
bool add_taken(const node* n, byte_table& bytes) {
    for (; n != nullptr; n = n->next) {
        switch (n->kind) {
        case op::literal: {
            const lit_node& l = as_lit(n);
            for (std::uint32_t i = 0; i < l.length; ++i) {
                if (!l.icase) {
                    bytes.set(l.bytes[i]);
                    continue;
                }
                for (unsigned c = 0; c < 256; ++c)
                    if (to_lower(static_cast<unsigned char>(c)) == l.bytes[i])
                        bytes.set(static_cast<unsigned char>(c));
            }
            break;
        }
        case op::one_byte:
            bytes.add(*as_set(n).table);
            break;
        case op::star:
            bytes.add(*as_star(n).atom);
            break;
        case op::repeat:
            if (!add_taken(as_repeat(n).body, bytes))
                return false;
            break;
        case op::group:
        case op::atomic: {
            const group_node& g = as_group(n);
            for (std::uint32_t i = 0; i < g.alt_count; ++i)
                if (!add_taken(g.alts[i], bytes))
                    return false;
            break;
        }
        case op::subject_begin:
        case op::line_begin:
        case op::end_or_final_lf:
        case op::line_end:
        case op::subject_end:
        case op::word_boundary:
        case op::not_word_boundary:
            break;
        case op::group_end:
        case op::repeat_tail:
        case op::inner_end:
        case op::end_pattern:
            return true;
        default:
            return false;
        }
    }
    return true;
}

// Whether every way through the alternatives of `g` ends at an end anchor;
// `finalLf` learns whether one of them also holds before a final '\n'.
bool ends_anchored(const group_node& g, bool& finalLf) {
    for (std::uint32_t i = 0; i < g.alt_count; ++i) {
        const node* last = nullptr;
        for (const node* n = g.alts[i]; n != nullptr && n->kind != op::group_end; n = n->next)
            last = n;
        if (last == nullptr)
            return false;
        if (last->kind == op::end_or_final_lf)
            finalLf = true;
        else if (last->kind == op::group && !ends_anchored(as_group(last), finalLf))
            return false;
        else if (last->kind != op::subject_end && last->kind != op::group)
            return false;
    }
    return true;
}

} // namespace

void plan_memo(program& prog) {
    memo_planner planner(prog);
    prog.memo_search = planner.sequence(prog.root, -1);
    bool finalLf = false;
    byte_table taken;
    if (prog.memo_search && !(prog.flags & rightmost) && ends_anchored(*prog.root, finalLf) &&
        add_taken(prog.root, taken) && !taken.all()) {
        prog.tail_bytes = prog.arena.make<byte_table>(taken);
        prog.tail_final_lf = finalLf;
    }
    // A pattern that is not taken keeps its numbers: the backtracking
    // matchers do not read them.
}

} // namespace regex::detail
