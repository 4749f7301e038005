#include "regex/detail/analysis.h"

#include "regex/bad_regexpr.h"
#include "regex/detail/byte_map.h"
#include "regex/detail/char_class.h"
#include "regex/detail/linear_planner.h"
#include "regex/detail/memo_planner.h"
#include "regex/detail/stack_limit.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace regex::detail {

namespace {

using width = std::pair<std::size_t, std::size_t>;

std::size_t add_sat(std::size_t a, std::size_t b) {
    return (a == unbounded || b == unbounded || a > unbounded - b) ? unbounded : a + b;
}

std::size_t mul_sat(std::size_t a, std::size_t b) {
    if (a == 0 || b == 0)
        return 0;
    return (a == unbounded || b == unbounded || a > unbounded / b) ? unbounded : a * b;
}

// Length bounds of every sequence, two passes: the first takes a
// back-reference as (0, unbounded) and records each capturing group's bounds,
// the second gives a back-reference the bounds of its group.
class width_pass {
public:
    width_pass(program& prog, const std::vector<width>* groups)
        : m_prog(prog), m_groups(groups), m_record(prog.capture_groups, width{0, unbounded}) {}

    width sequence(const node* n);
    std::vector<width> take_record() { return std::move(m_record); }

private:
    width group(group_node* g);
    width backref(const backref_node& r) const;

    program& m_prog;
    const std::vector<width>* m_groups;
    std::vector<width> m_record;
};

width width_pass::backref(const backref_node& r) const {
    if (r.number >= m_prog.capture_groups)
        throw bad_regexpr("reference to nonexistent group");
    if (m_groups == nullptr)
        return {0, unbounded};
    return (*m_groups)[r.number];
}

width width_pass::group(group_node* g) {
    std::size_t lo = unbounded;
    std::size_t hi = 0;
    for (std::uint32_t i = 0; i < g->alt_count; ++i) {
        const width w = sequence(g->alts[i]);
        lo = std::min(lo, w.first);
        hi = std::max(hi, w.second);
    }
    const bool conditional = g->kind == op::cond_ref || g->kind == op::cond_assert;
    if (conditional && g->alt_count < 2)
        lo = 0;
    if (g->kind == op::cond_ref && g->cond_group >= m_prog.capture_groups)
        throw bad_regexpr("reference to nonexistent group");
    if (g->condition != nullptr)
        group(g->condition);
    g->min_width = lo;
    g->max_width = hi;
    if (g->capture >= 0)
        m_record[static_cast<std::size_t>(g->capture)] = {lo, hi};
    return {lo, hi};
}

width width_pass::sequence(const node* n) {
    if (stack_low())
        throw_bad_allocation();
    width total{0, 0};
    for (; n != nullptr; n = n->next) {
        width w{0, 0};
        switch (n->kind) {
        case op::literal:
            w = {as_lit(n).length, as_lit(n).length};
            break;
        case op::one_byte:
            w = {1, 1};
            break;
        case op::backref:
            w = backref(as_ref(n));
            break;
        case op::group:
        case op::atomic:
        case op::cond_ref:
        case op::cond_assert:
            w = group(static_cast<group_node*>(const_cast<node*>(n)));
            break;
        case op::assertion:
            group(static_cast<group_node*>(const_cast<node*>(n)));
            break;
        case op::star: {
            const star_node& s = as_star(n);
            w = {s.min, s.max};
            break;
        }
        case op::star_ref: {
            const star_node& s = as_star(n);
            const width inner = backref(*s.ref);
            w = {mul_sat(inner.first, s.min), mul_sat(inner.second, s.max)};
            break;
        }
        case op::repeat: {
            const repeat_node& r = as_repeat(n);
            const width inner = group(r.body);
            w = {mul_sat(inner.first, r.min), mul_sat(inner.second, r.max)};
            break;
        }
        case op::recurse:
            w = {0, unbounded};
            break;
        case op::group_end:
        case op::inner_end:
        case op::repeat_tail:
        case op::end_pattern:
            return total;
        default: // zero-width assertions
            break;
        }
        total = {add_sat(total.first, w.first), add_sat(total.second, w.second)};
    }
    return total;
}

// The bytes that can begin a match from a node on; "nullable" when a match
// may consume nothing or begin with a byte the walk cannot know (after a
// back-reference or a recursion): the bytes found are then no filter.
class first_bytes {
public:
    explicit first_bytes(const program& prog) : m_active(prog.repeat_count, 0) {}

    // Answers nullable; adds the possible first bytes to `out`.
    bool walk(const node* n, byte_table& out);

private:
    bool walk_group(const group_node& g, byte_table& out);
    bool walk_tail(const repeat_node& r, byte_table& out);

    std::size_t m_budget = 4000;
    std::vector<char> m_active; // repetition tails being expanded
};

bool first_bytes::walk_group(const group_node& g, byte_table& out) {
    bool nullable = false;
    for (std::uint32_t i = 0; i < g.alt_count; ++i)
        nullable = walk(g.alts[i], out) || nullable;
    const bool conditional = g.kind == op::cond_ref || g.kind == op::cond_assert;
    if (conditional && g.alt_count < 2)
        nullable = walk(g.end, out) || nullable;
    return nullable;
}

bool first_bytes::walk_tail(const repeat_node& r, byte_table& out) {
    // After an iteration, either another iteration or what follows; an
    // iteration that consumed nothing goes on after the repetition.
    if (m_active[r.id])
        return walk(r.next, out);
    m_active[r.id] = 1;
    const bool again = walk(r.body, out);
    m_active[r.id] = 0;
    return walk(r.next, out) || again;
}

bool first_bytes::walk(const node* n, byte_table& out) {
    if (stack_low())
        return true; // unknown
    for (;;) {
        if (m_budget == 0)
            return true;
        --m_budget;
        switch (n->kind) {
        case op::literal: {
            const lit_node& l = as_lit(n);
            out.set(l.bytes[0]);
            if (l.icase)
                out.set(other_case(l.bytes[0]));
            return false;
        }
        case op::one_byte:
            out.add(*as_set(n).table);
            return false;
        case op::star:
            out.add(*as_star(n).atom);
            if (as_star(n).min > 0)
                return false;
            n = n->next;
            continue;
        case op::group:
        case op::atomic:
        case op::cond_ref:
        case op::cond_assert:
            return walk_group(as_group(n), out);
        case op::repeat: {
            // "Nullable" also stands for "unknown" (a back-reference inside):
            // the body's answer counts even when it may be skipped.
            const repeat_node& r = as_repeat(n);
            const bool body = walk(r.body, out);
            const bool rest = r.min == 0 && walk(r.next, out);
            return body || rest;
        }
        case op::group_end:
            n = as_end(n).owner->next;
            continue;
        case op::inner_end:
            // An atomic group or assertion takes the first way through its
            // inner pattern, whatever follows it: nothing is known here.
            return true;
        case op::repeat_tail:
            return walk_tail(as_repeat(as_end(n).owner), out);
        case op::backref:
        case op::star_ref:
        case op::recurse:
        case op::end_pattern:
            return true;
        default: // zero-width assertions, look-around included
            n = n->next;
            continue;
        }
    }
}

// A first-byte table worth keeping: known, and not every byte.
const byte_table* keep_first(program& prog, const node* from, int* single) {
    byte_table t;
    first_bytes finder(prog);
    if (finder.walk(from, t))
        return nullptr;
    if (t.all())
        return nullptr;
    if (single != nullptr)
        *single = t.single();
    return prog.arena.make<byte_table>(t);
}

void prepare_star(program& prog, star_node& s) {
    s.follow = keep_first(prog, s.next, &s.follow_single);
    if (s.follow != nullptr && s.next->kind == op::literal) {
        const lit_node& lit = as_lit(s.next);
        s.follow_lit = &lit;
        if (lit.length >= 2) {
            s.follow_by_ends = true;
            s.follow_ends =
                end_pair::of(lit.bytes, lit.length, [&lit](std::size_t) { return lit.icase; });
        }
    }
    if (s.kind != op::star || s.follow == nullptr)
        return;
    byte_table stop = *s.atom;
    stop.invert();
    stop.add(*s.follow);
    s.lazy_stop_single = stop.single();
    if (!s.greedy && s.lazy_stop_single < 0)
        s.lazy_stop_map = byte_map(prog.arena, stop);
}

// Visits every node once to fill in first-byte and follow tables.
void prepare_nodes(program& prog, node* n) {
    if (stack_low())
        throw_bad_allocation();
    for (; n != nullptr; n = n->next) {
        switch (n->kind) {
        case op::group:
        case op::atomic:
        case op::assertion:
        case op::cond_ref:
        case op::cond_assert: {
            auto* g = static_cast<group_node*>(n);
            if (g->kind == op::group || g->kind == op::atomic)
                g->first = keep_first(prog, g, nullptr);
            const bool conditional = g->kind == op::cond_ref || g->kind == op::cond_assert;
            if (g->alt_count > 1 && !conditional) {
                g->alt_first = prog.arena.make_array<const byte_table*>(g->alt_count);
                for (std::uint32_t i = 0; i < g->alt_count; ++i)
                    g->alt_first[i] = keep_first(prog, g->alts[i], nullptr);
            }
            for (std::uint32_t i = 0; i < g->alt_count; ++i)
                prepare_nodes(prog, g->alts[i]);
            if (g->condition != nullptr)
                prepare_nodes(prog, g->condition);
            break;
        }
        case op::repeat:
            prepare_nodes(prog, as_repeat(n).body);
            break;
        case op::star:
        case op::star_ref:
            prepare_star(prog, *static_cast<star_node*>(n));
            break;
        case op::group_end:
        case op::inner_end:
        case op::repeat_tail:
        case op::end_pattern:
            return;
        default:
            break;
        }
    }
}

// The literal bytes an alternative begins with.
std::vector<start_scanner::unit> literal_prefix(const node* n) {
    std::vector<start_scanner::unit> units;
    for (; n != nullptr && units.size() < 255; n = n->next) {
        if (n->kind == op::literal) {
            const lit_node& l = as_lit(n);
            for (std::uint32_t i = 0; i < l.length; ++i)
                units.push_back({l.bytes[i], l.icase});
            continue;
        }
        if (n->kind != op::one_byte)
            break;
        byte_table t = *as_set(n).table;
        if (t.none())
            break;
        const unsigned char c = t.first_member();
        if (t.single() >= 0) {
            units.push_back({c, false});
            continue;
        }
        // Two members that are one letter in both cases.
        t.reset(c);
        if (other_case(c) == c || t.single() != other_case(c))
            break;
        units.push_back({to_lower(c), true});
    }
    return units;
}

bool same_unit(const start_scanner::unit& a, const start_scanner::unit& b) {
    const bool aCased = a.icase && other_case(a.byte) != a.byte;
    const bool bCased = b.icase && other_case(b.byte) != b.byte;
    return a.byte == b.byte && aCased == bCased;
}

// The prefix every alternative of group 0 shares.
std::vector<start_scanner::unit> common_prefix(const group_node& root) {
    std::vector<start_scanner::unit> prefix = literal_prefix(root.alts[0]);
    for (std::uint32_t i = 1; i < root.alt_count && !prefix.empty(); ++i) {
        const auto other = literal_prefix(root.alts[i]);
        std::size_t n = 0;
        while (n < prefix.size() && n < other.size() && same_unit(prefix[n], other[n]))
            ++n;
        prefix.resize(n);
    }
    return prefix;
}

void analyse_start(program& prog) {
    const group_node& root = *prog.root;
    if (root.alt_count == 1) {
        const node* first = root.alts[0];
        if (first->kind == op::subject_begin && !(prog.flags & multiline)) {
            prog.try_later_starts = false;
            prog.flags &= ~static_cast<std::uint32_t>(rightmost);
        } else if (first->kind == op::star && !(prog.flags & rightmost) &&
                   (prog.flags & single_line) && as_star(first).dot && as_star(first).any &&
                   as_star(first).max == unbounded && as_star(first).min <= 1) {
            prog.try_later_starts = false;
        }
    }
    prog.first_bytes = keep_first(prog, prog.root, &prog.first_single);
    const auto prefix = common_prefix(root);
    if (!prefix.empty())
        prog.scanner = start_scanner(prefix);
}

} // namespace

void analyse(program& prog) {
    width_pass first(prog, nullptr);
    first.sequence(prog.root);
    const std::vector<width> groups = first.take_record();
    width_pass second(prog, &groups);
    const width whole = second.sequence(prog.root);
    prog.min_length = whole.first;
    prog.max_length = whole.second;
    prepare_nodes(prog, prog.root);
    analyse_start(prog);
    prog.linear = plan_linear(prog);
    plan_memo(prog);
}

} // namespace regex::detail
