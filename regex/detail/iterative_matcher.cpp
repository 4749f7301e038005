#include "regex/detail/iterative_matcher.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace regex::detail {

iterative_matcher::iterative_matcher(match_state& st) : m_st(st) {}

iterative_matcher::~iterative_matcher() {
    release();
}

void iterative_matcher::release() {
    if (m_data != m_inline)
        std::free(m_data);
    m_data = m_inline;
    m_capacity = inline_records;
    m_size = 0;
}

iterative_matcher::record& iterative_matcher::push(kind k) {
    if (m_size == m_capacity) {
        const std::size_t capacity = m_capacity * 2;
        auto* grown = static_cast<record*>(std::malloc(capacity * sizeof(record)));
        if (grown == nullptr)
            throw std::bad_alloc();
        std::copy(m_data, m_data + m_size, grown);
        if (m_data != m_inline)
            std::free(m_data);
        m_data = grown;
        m_capacity = capacity;
    }
    record& r = m_data[m_size++];
    r.k = k;
    return r;
}

void iterative_matcher::pop_undo(const record& r) {
    switch (r.k) {
    case undo_cap:
        m_st.caps[r.index] = backref_tag{r.a, r.b, r.count != 0};
        break;
    case undo_pend:
        m_st.pend[r.index] = r.a;
        break;
    case undo_rep:
        m_st.reps[r.index] = repeat_state{r.count, r.a};
        break;
    default:
        break;
    }
}

static bool is_undo(std::uint8_t k) {
    return k <= 2;
}

// The inner match of the top barrier succeeded for good: drop its choice
// points (and the barrier), keep the undo records so that backtracking past
// it still restores the groups.
void iterative_matcher::cut() {
    const std::size_t b = m_topBarrier;
    m_topBarrier = m_data[b].index;
    std::size_t j = b;
    for (std::size_t i = b + 1; i < m_size; ++i)
        if (is_undo(m_data[i].k))
            m_data[j++] = m_data[i];
    m_size = j;
}

// Abandons the top barrier's inner match: undoes everything above it and
// removes it.
void iterative_matcher::unwind_barrier() {
    const std::size_t b = m_topBarrier;
    m_topBarrier = m_data[b].index;
    while (m_size > b + 1)
        pop_undo(m_data[--m_size]);
    m_size = b;
}

bool iterative_matcher::match_at(const char* start) {
    m_size = 0;
    m_topBarrier = SIZE_MAX;
    m_savedCaps.clear();
    m_savedPend.clear();
    m_savedReps.clear();
    m_st.rec_start = start;
    m_st.rec_level = 0;
    const char* const end = m_st.end;
    const node* n = m_st.prog->root;
    const char* p = start;
    const repeat_node* rep = nullptr; // the repetition repeat_step decides for

    for (;;) {
        m_st.meter->charge();
        if (n->memo != 0 && m_st.memo != nullptr && remembered(n->memo, p))
            goto fail;
        switch (n->kind) {
        case op::group:
        case op::atomic: {
            const group_node& g = as_group(n);
            if (rejects(g, p, end))
                goto fail;
            if (g.kind == op::atomic) {
                record& b = push(barrier);
                b.n = &g;
                b.a = p;
                b.index = static_cast<std::uint32_t>(m_topBarrier);
                m_topBarrier = m_size - 1;
            } else if (g.capture >= 0) {
                record& u = push(undo_pend);
                u.index = static_cast<std::uint32_t>(g.capture);
                u.a = m_st.pend[g.capture];
                m_st.pend[g.capture] = p;
            }
            const std::uint32_t first = viable_alt(g, 0, p, end);
            if (first == g.alt_count)
                goto fail;
            push_alternatives(g, first, p);
            n = g.alts[first];
            continue;
        }
        case op::group_end: {
            const group_node& g = owner_group(n);
            if (g.capture >= 0) {
                backref_tag& tag = m_st.caps[g.capture];
                record& u = push(undo_cap);
                u.index = static_cast<std::uint32_t>(g.capture);
                u.a = tag.first;
                u.b = tag.second;
                u.count = tag.matched;
                tag = backref_tag{m_st.pend[g.capture], p, true};
            }
            n = g.next;
            continue;
        }
        case op::cond_ref:
            n = branch(as_group(n), m_st.caps[as_group(n).cond_group].matched);
            continue;
        case op::cond_assert:
            n = as_group(n).condition;
            continue;
        case op::assertion: {
            const group_node& a = as_group(n);
            const char* from = p;
            if (a.behind) {
                const auto dist = static_cast<std::size_t>(p - m_st.begin);
                if (dist < a.min_width) {
                    const bool holds = a.negative;
                    if (a.conditional != nullptr) {
                        n = branch(*a.conditional, holds);
                        continue;
                    }
                    if (!holds)
                        goto fail;
                    n = a.next;
                    continue;
                }
                from = p - std::min(a.max_width, dist);
            }
            record& b = push(barrier);
            b.n = &a;
            b.a = p;
            b.b = from;
            b.index = static_cast<std::uint32_t>(m_topBarrier);
            m_topBarrier = m_size - 1;
            p = from;
            if (!enter_alternatives(a, n, p))
                goto fail;
            continue;
        }
        case op::star: {
            const star_node& s = as_star(n);
            const char* q;
            if (s.greedy) {
                const char* hi;
                const char* lo;
                if (s.loop != 0 && m_st.memo != nullptr) {
                    lo = star_skip(s, p, end, s.min);
                    if (lo == nullptr || !cut_greedy(s, lo, hi))
                        goto fail;
                } else {
                    hi = star_extent(s, p, end);
                    if (static_cast<std::size_t>(hi - p) < s.min)
                        goto fail;
                    lo = p + s.min;
                }
                m_st.meter->charge_scan(static_cast<std::size_t>(hi - p));
                q = greedy_candidate(s, lo, hi, end);
                if (q == nullptr)
                    goto fail;
                if (q != lo) {
                    push_choice(star_greedy, &s, lo, q);
                }
            } else {
                const char* lo = star_skip(s, p, end, s.min);
                if (lo == nullptr)
                    goto fail;
                const bool loop = s.loop != 0 && m_st.memo != nullptr;
                q = loop ? lazy_find(s, p, lo) : lazy_candidate(s, p, lo, end);
                // lazy_find charges what it reads itself.
                const char* read = q != nullptr ? q : loop ? lo : lazy_limit(s, p, end);
                m_st.meter->charge_scan(static_cast<std::size_t>(read - p));
                if (q == nullptr || (loop && !pass_lazy(s, lo, q)))
                    goto fail;
                push_choice(star_lazy, &s, p, q);
            }
            p = q;
            n = s.next;
            continue;
        }
        case op::star_ref: {
            const star_node& s = as_star(n);
            ref_range range;
            if (!ref_bounds(s, m_st, p, range))
                goto fail;
            const char* q = ref_first(s, end, range);
            if (q == nullptr)
                goto fail;
            push_choice(ref_step, &s, p, q);
            p = q;
            n = s.next;
            continue;
        }
        case op::repeat: {
            rep = &as_repeat(n);
            repeat_state& st = m_st.reps[rep->id];
            save_repeat(rep->id);
            st = repeat_state{0, nullptr};
            goto repeat_step;
        }
        case op::repeat_tail: {
            rep = &as_repeat(as_end(n).owner);
            repeat_state& st = m_st.reps[rep->id];
            save_repeat(rep->id);
            ++st.count;
            // An iteration that matched the empty string starts no other.
            if (p == st.start) {
                n = rep->next;
                continue;
            }
            goto repeat_step;
        }
        case op::inner_end: {
            const group_node& owner = owner_group(n);
            if (owner.kind == op::atomic) {
                cut();
                n = owner.next;
                continue;
            }
            const record& b = m_data[m_topBarrier];
            if (owner.behind && p != b.a)
                goto fail;
            p = b.a;
            // The inner match succeeded: a positive assertion holds and keeps
            // its groups, a negative one fails and gives them back.
            if (!owner.negative) {
                cut();
                n = owner.conditional ? branch(*owner.conditional, true) : owner.next;
                continue;
            }
            unwind_barrier();
            if (owner.conditional == nullptr)
                goto fail;
            n = branch(*owner.conditional, false);
            continue;
        }
        case op::recurse: {
            if (p == m_st.rec_start) {
                n = n->next;
                continue;
            }
            const std::size_t groups = m_st.prog->capture_groups;
            record& b = push(barrier);
            b.n = n;
            b.a = p;
            b.b = m_st.rec_start;
            b.index = static_cast<std::uint32_t>(m_topBarrier);
            m_topBarrier = m_size - 1;
            m_savedCaps.insert(m_savedCaps.end(), m_st.caps, m_st.caps + groups);
            m_savedPend.insert(m_savedPend.end(), m_st.pend, m_st.pend + groups);
            m_savedReps.insert(m_savedReps.end(), m_st.reps, m_st.reps + m_st.prog->repeat_count);
            m_st.rec_start = p;
            ++m_st.rec_level;
            n = m_st.prog->root;
            continue;
        }
        case op::end_pattern: {
            if (m_st.rec_level == 0) {
                if (m_st.prev_empty && p == m_st.search_start)
                    goto fail;
                return true;
            }
            // The nested match of (?R) is complete: its groups do not outlive it.
            const record b = m_data[m_topBarrier];
            restore_recursion();
            m_st.rec_start = b.b;
            --m_st.rec_level;
            cut();
            n = b.n->next;
            continue;
        }
        default:
            p = step_simple(n, m_st, p);
            if (p == nullptr)
                goto fail;
            n = n->next;
            continue;
        }

    repeat_step : {
        // At p with st.count iterations of `rep` done: another iteration or
        // what follows, in the order greediness asks for.
        repeat_state& st = m_st.reps[rep->id];
        const bool mayIterate = st.count < rep->max;
        if (st.count < rep->min || (rep->greedy && mayIterate)) {
            // The counter was saved by whoever came here (the repetition's
            // entry, its tail): backtracking past that record restores it,
            // and what follows the repetition does not read it.
            if (st.count >= rep->min)
                push_choice(rep_next, rep, p, nullptr);
            st.start = p;
            n = rep->body;
            continue;
        }
        if (mayIterate) {
            push_choice(rep_body, rep, p, nullptr);
        }
        n = rep->next;
        continue;
    }

    fail:
        for (;;) {
            if (m_size == 0)
                return false;
            record& r = m_data[m_size - 1];
            switch (r.k) {
            case undo_cap:
            case undo_pend:
            case undo_rep:
                pop_undo(r);
                --m_size;
                continue;
            case alt: {
                const group_node& g = as_group(r.n);
                const std::uint32_t i = r.index;
                p = r.a;
                const std::uint32_t next = viable_alt(g, i + 1, p, end);
                if (next < g.alt_count)
                    r.index = next;
                else
                    --m_size;
                n = g.alts[i];
                break;
            }
            case star_greedy: {
                const star_node& s = as_star(r.n);
                const char* q = greedy_candidate(s, r.a, r.b - 1, end);
                m_st.meter->charge_scan(static_cast<std::size_t>(r.b - (q ? q : r.a)));
                if (q == nullptr) {
                    --m_size;
                    continue;
                }
                if (q == r.a)
                    --m_size;
                else
                    r.b = q;
                p = q;
                n = s.next;
                break;
            }
            case star_lazy: {
                const star_node& s = as_star(r.n);
                const bool loop = s.loop != 0 && m_st.memo != nullptr;
                const char* q = nullptr;
                if (!loop)
                    q = lazy_next(s, r.a, r.b, end);
                else if (r.b < end && s.atom->test(static_cast<unsigned char>(*r.b)))
                    q = lazy_find(s, r.a, r.b + 1);
                const char* read = q != nullptr ? q : loop ? r.b : lazy_limit(s, r.a, end);
                m_st.meter->charge_scan(static_cast<std::size_t>(read - r.b));
                if (q == nullptr || (loop && !pass_lazy(s, r.b + 1, q))) {
                    --m_size;
                    continue;
                }
                r.b = q;
                p = q;
                n = s.next;
                break;
            }
            case ref_step: {
                const star_node& s = as_star(r.n);
                ref_range range;
                const char* q = nullptr;
                if (ref_bounds(s, m_st, r.a, range))
                    q = ref_next(s, end, range, r.b);
                if (q == nullptr) {
                    --m_size;
                    continue;
                }
                r.b = q;
                p = q;
                n = s.next;
                break;
            }
            case rep_next:
                p = r.a;
                n = as_repeat(r.n).next;
                --m_size;
                break;
            case rep_body: {
                const repeat_node& rp = as_repeat(r.n);
                p = r.a;
                --m_size;
                m_st.reps[rp.id].start = p;
                n = rp.body;
                break;
            }
            case barrier: {
                if (resume_barrier(n, p))
                    break;
                continue;
            }
            }
            break;
        }
    }
}

void iterative_matcher::push_choice(kind k, const node* n, const char* a, const char* b) {
    record& r = push(k);
    r.n = n;
    r.a = a;
    r.b = b;
}

// Records the counter of repetition `id` so that backtracking restores it.
void iterative_matcher::save_repeat(std::uint32_t id) {
    const repeat_state& st = m_st.reps[id];
    record& u = push(undo_rep);
    u.index = id;
    u.count = st.count;
    u.a = st.start;
}

// Pushes the choice of the alternatives of `g` after `first` (if any can
// match at `p`).
void iterative_matcher::push_alternatives(const group_node& g, std::uint32_t first, const char* p) {
    const std::uint32_t next = viable_alt(g, first + 1, p, m_st.end);
    if (next == g.alt_count)
        return;
    record& r = push(alt);
    r.n = &g;
    r.index = next;
    r.a = p;
}

// Goes into the first alternative of `g` that can match at `p`, pushing the
// choice of the others; false when none can.
bool iterative_matcher::enter_alternatives(const group_node& g, const node*& n, const char* p) {
    const std::uint32_t first = viable_alt(g, 0, p, m_st.end);
    if (first == g.alt_count)
        return false;
    push_alternatives(g, first, p);
    n = g.alts[first];
    return true;
}

// The inner match of the top barrier has no way left. Answers true with the
// place to go on in `n` and `p`, false to keep failing.
bool iterative_matcher::resume_barrier(const node*& n, const char*& p) {
    record& b = m_data[m_size - 1];
    const node* owner = b.n;
    if (owner->kind == op::recurse) {
        m_st.rec_start = b.b;
        --m_st.rec_level;
        drop_recursion();
        m_topBarrier = b.index;
        --m_size;
        return false;
    }
    const group_node& g = as_group(owner);
    if (g.kind == op::atomic) {
        m_topBarrier = b.index;
        --m_size;
        return false;
    }
    if (g.behind) {
        // Look-behind: the next start, nearer to the position. A start where
        // no alternative can begin fails at once (nothing was pushed).
        const std::size_t at = m_size - 1;
        while (m_data[at].b < m_data[at].a - g.min_width) {
            p = ++m_data[at].b;
            if (enter_alternatives(g, n, p))
                return true;
        }
    }
    p = b.a;
    m_topBarrier = b.index;
    --m_size;
    const bool holds = g.negative;
    if (g.conditional != nullptr) {
        n = branch(*g.conditional, holds);
        return true;
    }
    n = g.next;
    return holds;
}

bool iterative_matcher::in_empty_iteration(std::uint32_t point, const char* p) const {
    const std::int32_t guard = m_st.prog->memo_guard[point];
    return guard >= 0 && m_st.reps[guard].start == p;
}

bool iterative_matcher::remembered(std::uint32_t memo, const char* p) {
    const std::uint32_t point = memo - 1;
    return !in_empty_iteration(point, p) && m_st.memo->visit(point, offset(p));
}

// The first window the memory is searched in: a few words, as most
// repetitions in a reply end within a line.
constexpr std::size_t first_window = 256;

// A stop at a position the repetition went through before was tried then,
// with the same rest of the pattern after it: it failed, or it lies on the
// way being tried now and the stops tried before it failed. The stop where
// the enclosing iteration began is not remembered.
bool iterative_matcher::cut_greedy(const star_node& s, const char* lo, const char*& hi) {
    const std::uint32_t point = s.loop - 1;
    const char* const end = m_st.end;
    const char* from = in_empty_iteration(point, lo) ? lo + 1 : lo;
    // The atoms are followed in growing windows, each only as far as the
    // first position gone through before.
    for (const char* at = lo;; at += static_cast<std::size_t>(hi - at)) {
        const std::size_t window =
            std::max<std::size_t>(first_window, static_cast<std::size_t>(at - lo));
        const bool capped = static_cast<std::size_t>(end - at) >= window;
        const char* cap = capped ? at + window : end + 1;
        const char* stop = visited_before(point, std::max(from, at), cap);
        const char* bound = std::min(stop, end);
        const char* reach = star_extent(s, at, bound);
        m_st.meter->charge_scan(static_cast<std::size_t>(reach - at));
        if (reach == bound && stop < cap) {
            if (stop == lo)
                return false;
            hi = stop - 1;
            break;
        }
        hi = reach;
        if (reach < bound || !capped)
            break;
    }
    if (from <= hi)
        m_st.memo->mark(point, offset(from), offset(hi));
    return true;
}

// The first position in [from, cap) a repetition went through before, or
// `cap`.
const char* iterative_matcher::visited_before(std::uint32_t point, const char* from,
                                              const char* cap) {
    if (from >= cap)
        return cap;
    const std::size_t last = offset(cap) - 1;
    const std::size_t seen = m_st.memo->first_visited(point, offset(from), last);
    return seen <= last ? m_st.begin + seen : cap;
}

// The lowest stop at or after `from` of a lazy unbounded repetition that
// began at `base`, before the first position it went through before; null
// when there is none, the positions gone through then remembered. The
// subject is searched in growing windows, so that a search that ends early
// never scans the memory of the whole subject.
const char* iterative_matcher::lazy_find(const star_node& s, const char* base, const char* from) {
    const char* const end = m_st.end;
    const std::uint32_t point = s.loop - 1;
    const char* marked = in_empty_iteration(point, from) ? from + 1 : from;
    for (std::size_t window = first_window;; window *= 2) {
        const bool capped = static_cast<std::size_t>(end - from) >= window;
        const char* cap = capped ? from + window : end + 1;
        const char* stop = visited_before(point, marked, cap);
        const char* q = lazy_candidate(s, base, from, end, stop);
        if (q != nullptr)
            return q;
        // No stop before `stop`: every position the atoms reach there failed.
        const char* reach = star_extent(s, from, std::min(stop, end));
        m_st.meter->charge_scan(static_cast<std::size_t>(reach - from));
        const char* last = reach < stop ? reach : stop - 1;
        if (marked <= last)
            m_st.memo->mark(point, offset(marked), offset(last));
        if (stop != cap || !capped || reach != cap)
            return nullptr;
        from = marked = cap;
    }
}

bool iterative_matcher::pass_lazy(const star_node& s, const char* from, const char* to) {
    const std::uint32_t point = s.loop - 1;
    if (in_empty_iteration(point, from))
        ++from;
    if (from > to)
        return true;
    if (m_st.memo->first_visited(point, offset(from), offset(to)) <= offset(to))
        return false;
    m_st.memo->mark(point, offset(from), offset(to));
    return true;
}

void iterative_matcher::restore_recursion() {
    const std::size_t groups = m_st.prog->capture_groups;
    const std::size_t reps = m_st.prog->repeat_count;
    std::copy(m_savedCaps.end() - static_cast<std::ptrdiff_t>(groups), m_savedCaps.end(),
              m_st.caps);
    std::copy(m_savedPend.end() - static_cast<std::ptrdiff_t>(groups), m_savedPend.end(),
              m_st.pend);
    std::copy(m_savedReps.end() - static_cast<std::ptrdiff_t>(reps), m_savedReps.end(), m_st.reps);
    drop_recursion();
}

void iterative_matcher::drop_recursion() {
    const std::size_t groups = m_st.prog->capture_groups;
    m_savedCaps.resize(m_savedCaps.size() - groups);
    m_savedPend.resize(m_savedPend.size() - groups);
    m_savedReps.resize(m_savedReps.size() - m_st.prog->repeat_count);
}

} // namespace regex::detail
