// What both matchers share: the state of one match call (subject bounds,
// group results being built, pending group starts, repetition counters) and
// the node tests that do not backtrack (literals, anchors, back-references,
// the scanning loops of single-byte repetitions). Keeping these in one place
// is what makes the two matchers give the same answers.
#pragma once

#include "regex/backref_tag.h"
#include "regex/detail/char_class.h"
#include "regex/detail/charset.h"
#include "regex/detail/nodes.h"
#include "regex/detail/program.h"
#include "regex/detail/step_meter.h"
#include "regex/detail/visit_memo.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>

namespace regex::detail {

// A fixed-size array that lives inline when small (no heap in the common
// case); only the n entries asked for are constructed.
template <class T, std::size_t Inline> class small_array {
    static_assert(std::is_trivially_destructible_v<T>);

public:
    explicit small_array(std::size_t n) {
        if (n > Inline) {
            m_heap = std::make_unique<T[]>(n);
            m_data = m_heap.get();
        } else {
            m_data = reinterpret_cast<T*>(m_storage);
            std::uninitialized_value_construct_n(m_data, n);
        }
    }
    small_array(const small_array&) = delete;
    small_array& operator=(const small_array&) = delete;
    T* data() { return m_data; }

private:
    alignas(T) unsigned char m_storage[sizeof(T) * Inline];
    std::unique_ptr<T[]> m_heap;
    T* m_data;
};

struct repeat_state {
    std::size_t count = 0;       // iterations done
    const char* start = nullptr; // where the current iteration began
};

// The state of one match call; the arrays belong to the caller.
struct match_state {
    const program* prog = nullptr;
    const char* begin = nullptr;
    const char* end = nullptr;
    const char* search_start = nullptr; // where the current search began
    bool prev_empty = false;            // the previous match was empty
    const char* earliest = nullptr;     // no match starts before it (null: any may)
    backref_tag* caps = nullptr;        // capture_groups entries
    const char** pend = nullptr;        // pending start of each capturing group
    repeat_state* reps = nullptr;       // repeat_count entries
    const char* rec_start = nullptr;    // where the innermost (?R) level began
    unsigned rec_level = 0;             // nested (?R) levels
    step_meter* meter = nullptr;        // counts the work, ends the call when asked
    visit_memo* memo = nullptr;         // the linear-time search's visits, else null
};

inline bool is_word(const char* p) {
    return charset::shared('w').test(static_cast<unsigned char>(*p));
}

// The zero-width tests ^ $ \A \Z \z \b \B.
inline bool anchor_holds(op kind, const match_state& st, const char* p) {
    switch (kind) {
    case op::subject_begin:
        return p == st.begin;
    case op::line_begin:
        return p == st.begin || p[-1] == '\n';
    case op::end_or_final_lf:
        return p == st.end || (p + 1 == st.end && *p == '\n');
    case op::line_end:
        return p == st.end || *p == '\n';
    case op::subject_end:
        return p == st.end;
    case op::word_boundary:
    case op::not_word_boundary: {
        const bool before = p > st.begin && is_word(p - 1);
        const bool after = p < st.end && is_word(p);
        return (before != after) == (kind == op::word_boundary);
    }
    default:
        return true;
    }
}

inline bool literal_at(const lit_node& l, const char* p, const char* end) {
    if (static_cast<std::size_t>(end - p) < l.length)
        return false;
    if (!l.icase)
        return std::memcmp(p, l.bytes, l.length) == 0;
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    for (std::uint32_t i = 0; i < l.length; ++i)
        if (to_lower(s[i]) != l.bytes[i])
            return false;
    return true;
}

// The length of the back-referenced text when it follows at `p`, else -1.
inline std::ptrdiff_t backref_at(const backref_node& r, const match_state& st, const char* p) {
    const backref_tag& g = st.caps[r.number];
    if (!g.matched)
        return -1;
    const std::ptrdiff_t len = g.second - g.first;
    if (st.end - p < len)
        return -1;
    if (!r.icase)
        return std::memcmp(p, g.first, static_cast<std::size_t>(len)) == 0 ? len : -1;
    for (std::ptrdiff_t i = 0; i < len; ++i)
        if (to_upper(static_cast<unsigned char>(p[i])) !=
            to_upper(static_cast<unsigned char>(g.first[i])))
            return -1;
    return len;
}

// A node that consumes without leaving a choice (literal, one byte,
// back-reference) or a zero-width test; answers the position after it, or
// null when it fails at `p`.
inline const char* step_simple(const node* n, const match_state& st, const char* p) {
    switch (n->kind) {
    case op::literal:
        return literal_at(as_lit(n), p, st.end) ? p + as_lit(n).length : nullptr;
    case op::one_byte:
        return p != st.end && as_set(n).table->test(static_cast<unsigned char>(*p)) ? p + 1
                                                                                    : nullptr;
    case op::backref: {
        const std::ptrdiff_t len = backref_at(as_ref(n), st, p);
        return len < 0 ? nullptr : p + len;
    }
    default:
        return anchor_holds(n->kind, st, p) ? p : nullptr;
    }
}

// The group an end node closes.
inline const group_node& owner_group(const node* n) {
    return *static_cast<const group_node*>(as_end(n).owner);
}

// Where a conditional goes on: its first branch, else its second (or the
// empty one).
inline const node* branch(const group_node& c, bool yes) {
    if (yes)
        return c.alts[0];
    return c.alt_count > 1 ? c.alts[1] : c.end;
}

// The group's first bytes rule out a match at `p`.
inline bool rejects(const group_node& g, const char* p, const char* end) {
    return g.first != nullptr && (p == end || !g.first->test(static_cast<unsigned char>(*p)));
}

// The first alternative at or after `i` that can match at `p` (by its first
// bytes), or g.alt_count.
inline std::uint32_t viable_alt(const group_node& g, std::uint32_t i, const char* p,
                                const char* end) {
    if (g.alt_first == nullptr)
        return i;
    for (; i < g.alt_count; ++i) {
        const byte_table* first = g.alt_first[i];
        if (first == nullptr || (p < end && first->test(static_cast<unsigned char>(*p))))
            return i;
    }
    return i;
}

// ---- single-byte repetitions

inline bool follow_ok(const star_node& s, const char* q, const char* end) {
    return s.follow == nullptr || (q < end && s.follow->test(static_cast<unsigned char>(*q)));
}

// The position after `count` atoms from `p`, or null when they are not there.
inline const char* star_skip(const star_node& s, const char* p, const char* end,
                             std::size_t count) {
    if (static_cast<std::size_t>(end - p) < count)
        return nullptr;
    if (s.any)
        return p + count;
    const char* stop = p + count;
    for (; p < stop; ++p)
        if (!s.atom->test(static_cast<unsigned char>(*p)))
            return nullptr;
    return p;
}

// The farthest position the atom reaches from `p` (at most max atoms).
inline const char* star_extent(const star_node& s, const char* p, const char* end) {
    const std::size_t room = static_cast<std::size_t>(end - p);
    const char* stop = p + std::min(room, s.max);
    if (s.any)
        return stop;
    const std::uint8_t* in = s.atom_map;
    while (p < stop && in[static_cast<unsigned char>(*p)])
        ++p;
    return p;
}

// Greedy: the highest position in [lo, q] whose byte can begin the rest, or
// null.
inline const char* greedy_byte_candidate(const star_node& s, const char* lo, const char* q,
                                         const char* end) {
    if (s.follow == nullptr)
        return q;
    if (q == end) {
        if (q == lo)
            return nullptr;
        --q;
    }
    if (s.follow_single >= 0) {
        const void* hit = memrchr(lo, s.follow_single, static_cast<std::size_t>(q - lo) + 1);
        return static_cast<const char*>(hit);
    }
    const byte_table& in = *s.follow;
    for (;;) {
        if (in.test(static_cast<unsigned char>(*q)))
            return q;
        if (q == lo)
            return nullptr;
        --q;
    }
}

// Greedy, when the rest begins with a literal: the highest position in
// [lo, q] where the literal stands, or null.
inline const char* greedy_literal_candidate(const star_node& s, const char* lo, const char* q,
                                            const char* end) {
    const std::size_t length = s.follow_lit->length;
    if (static_cast<std::size_t>(end - lo) < length)
        return nullptr;
    const char* high = std::min(q, end - length);
    while (high >= lo) {
        const char* c = pair_backward(s.follow_ends, lo, high);
        if (c == nullptr)
            return nullptr;
        if (literal_at(*s.follow_lit, c, end))
            return c;
        if (c == lo)
            return nullptr;
        high = c - 1;
    }
    return nullptr;
}

// Lazy, when the atom takes every byte and the rest begins with a literal:
// the lowest position at or after `q` and before `stop` (at most max atoms
// after `base`) where the literal stands, or null.
inline const char* lazy_literal_candidate(const star_node& s, const char* base, const char* q,
                                          const char* end, const char* stop) {
    const std::size_t length = s.follow_lit->length;
    if (static_cast<std::size_t>(end - q) < length || q >= stop)
        return nullptr;
    const std::size_t room = static_cast<std::size_t>(end - base);
    const char* top = std::min({base + std::min(room, s.max), end - length, stop - 1});
    while (q <= top) {
        const char* c = pair_forward(s.follow_ends, q, top);
        if (c == nullptr)
            return nullptr;
        if (literal_at(*s.follow_lit, c, end))
            return c;
        q = c + 1;
    }
    return nullptr;
}

// Greedy: the highest position in [lo, q] after which the rest can begin,
// or null.
inline const char* greedy_candidate(const star_node& s, const char* lo, const char* q,
                                    const char* end) {
    if (s.follow_by_ends)
        return greedy_literal_candidate(s, lo, q, end);
    for (;;) {
        const char* c = greedy_byte_candidate(s, lo, q, end);
        if (c == nullptr || s.follow_lit == nullptr || literal_at(*s.follow_lit, c, end))
            return c;
        if (c == lo)
            return nullptr;
        q = c - 1;
    }
}

// Lazy: how far the candidates of a repetition that began at `base` are
// searched, so that a search that finds none is charged for what it read.
inline const char* lazy_limit(const star_node& s, const char* base, const char* end) {
    return base + std::min(static_cast<std::size_t>(end - base), s.max);
}

// Lazy: the lowest position at or after `q` and before `stop` (all bytes
// before it taken by the atom, at most max atoms after `base`) whose byte can
// begin the rest, or null.
inline const char* lazy_byte_candidate(const star_node& s, const char* base, const char* q,
                                       const char* end, const char* stop) {
    if (q >= stop)
        return nullptr;
    const std::size_t room = static_cast<std::size_t>(end - base);
    const char* limit = std::min(base + std::min(room, s.max), stop - 1);
    if (s.follow == nullptr)
        return q;
    if (s.lazy_stop_single >= 0) {
        const void* hit =
            q < limit ? std::memchr(q, s.lazy_stop_single, static_cast<std::size_t>(limit - q))
                      : nullptr;
        q = hit ? static_cast<const char*>(hit) : limit;
    } else {
        const std::uint8_t* stop = s.lazy_stop_map;
        while (q < limit && !stop[static_cast<unsigned char>(*q)])
            ++q;
    }
    return follow_ok(s, q, end) ? q : nullptr;
}

// Lazy: the lowest position at or after `q` after which the rest can begin,
// or null.
inline const char* lazy_candidate(const star_node& s, const char* base, const char* q,
                                  const char* end, const char* stop) {
    if (s.follow_by_ends && s.any)
        return lazy_literal_candidate(s, base, q, end, stop);
    for (;;) {
        const char* c = lazy_byte_candidate(s, base, q, end, stop);
        if (c == nullptr || s.follow_lit == nullptr || literal_at(*s.follow_lit, c, end))
            return c;
        // Not the rest's place: one more atom, if the atom takes this byte.
        if (c == end || static_cast<std::size_t>(c - base) >= s.max ||
            !s.atom->test(static_cast<unsigned char>(*c)))
            return nullptr;
        q = c + 1;
    }
}

// Lazy: the next candidate after `q`, one more atom taken, or null.
inline const char* lazy_next(const star_node& s, const char* base, const char* q, const char* end,
                             const char* stop) {
    if (q == end || static_cast<std::size_t>(q - base) >= s.max ||
        !s.atom->test(static_cast<unsigned char>(*q)))
        return nullptr;
    return lazy_candidate(s, base, q + 1, end, stop);
}

// Without a bound but the subject's.
inline const char* lazy_candidate(const star_node& s, const char* base, const char* q,
                                  const char* end) {
    return lazy_candidate(s, base, q, end, end + 1);
}
inline const char* lazy_next(const star_node& s, const char* base, const char* q, const char* end) {
    return lazy_next(s, base, q, end, end + 1);
}

// ---- repeated back-references: their candidates are base + i * width.

inline std::size_t ref_width(const star_node& s, const match_state& st) {
    const backref_tag& g = st.caps[s.ref->number];
    return static_cast<std::size_t>(g.second - g.first);
}

// How many copies of the referenced text follow at `p` (at most max); -1 when
// the group has not matched.
inline std::ptrdiff_t ref_count(const star_node& s, const match_state& st, const char* p) {
    if (!st.caps[s.ref->number].matched)
        return -1;
    const std::size_t w = ref_width(s, st);
    if (w == 0)
        return static_cast<std::ptrdiff_t>(std::min<std::size_t>(s.max, s.min));
    std::size_t n = 0;
    while (n < s.max) {
        const std::ptrdiff_t len = backref_at(*s.ref, st, p);
        if (len < 0)
            break;
        p += len;
        ++n;
    }
    return static_cast<std::ptrdiff_t>(n);
}

struct ref_range {
    const char* lo = nullptr;
    const char* hi = nullptr;
    std::size_t w = 0;
};

// The candidates of a repeated back-reference from `base`: lo, lo + w, ...,
// hi. False when not even min copies follow.
inline bool ref_bounds(const star_node& s, const match_state& st, const char* base,
                       ref_range& out) {
    std::ptrdiff_t avail = ref_count(s, st, base);
    const bool matched = avail >= 0;
    if (!matched)
        avail = 0;
    const auto min = static_cast<std::ptrdiff_t>(s.min);
    if (avail < min)
        return false;
    out.w = matched ? ref_width(s, st) : 0;
    const std::ptrdiff_t last = out.w == 0 ? min : avail;
    out.lo = base + static_cast<std::size_t>(min) * out.w;
    out.hi = base + static_cast<std::size_t>(last) * out.w;
    return true;
}

// The candidate after `q` in the repetition's order, passing the follow
// filter, or null.
inline const char* ref_next(const star_node& s, const char* end, const ref_range& range,
                            const char* q) {
    while (range.w != 0) {
        if (s.greedy) {
            if (q == range.lo)
                return nullptr;
            q -= range.w;
        } else {
            if (q == range.hi)
                return nullptr;
            q += range.w;
        }
        if (follow_ok(s, q, end))
            return q;
    }
    return nullptr;
}

// The first candidate of a repeated back-reference, or null.
inline const char* ref_first(const star_node& s, const char* end, const ref_range& range) {
    const char* q = s.greedy ? range.hi : range.lo;
    return follow_ok(s, q, end) ? q : ref_next(s, end, range, q);
}

} // namespace regex::detail
