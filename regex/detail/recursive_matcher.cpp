#include "regex/detail/recursive_matcher.h"

#include "regex/detail/stack_limit.h"

namespace regex::detail {

recursive_matcher::recursive_matcher(match_state& st) : m_st(st), m_limit(stack_limit()) {}

bool recursive_matcher::match_at(const char* p) {
    m_saved.clear();
    m_savedRepeats.clear();
    m_st.rec_start = p;
    m_st.rec_level = 0;
    return match(m_st.prog->root, p);
}

bool recursive_matcher::match(const node* n, const char* p) {
    if (reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) < m_limit)
        throw stack_exhausted{};
    m_st.meter->charge();
    const char* const end = m_st.end;
    for (;;) {
        switch (n->kind) {
        case op::group: {
            const group_node& g = as_group(n);
            if (g.capture < 0 && g.alt_count == 1) {
                if (rejects(g, p, end))
                    return false;
                n = g.alts[0];
                continue;
            }
            return match_group(g, p);
        }
        case op::group_end: {
            const group_node& g = owner_group(n);
            if (g.capture < 0) {
                n = g.next;
                continue;
            }
            return match_group_end(g, p);
        }
        case op::cond_ref:
            n = branch(as_group(n), m_st.caps[as_group(n).cond_group].matched);
            continue;
        case op::cond_assert:
            n = as_group(n).condition;
            continue;
        case op::atomic:
            return match_atomic(as_group(n), p);
        case op::assertion:
            return match_assertion(as_group(n), p);
        case op::star:
            return match_star(as_star(n), p);
        case op::star_ref:
            return match_star_ref(as_star(n), p);
        case op::repeat:
            return enter_repeat(as_repeat(n), p);
        case op::repeat_tail:
            return repeat_tail(as_repeat(as_end(n).owner), p);
        case op::inner_end:
            return inner_end(owner_group(n), p);
        case op::recurse:
            return match_recursion(n, p);
        case op::end_pattern:
            return end_of_pattern(p);
        default:
            p = step_simple(n, m_st, p);
            if (p == nullptr)
                return false;
            n = n->next;
            continue;
        }
    }
}

bool recursive_matcher::match_group(const group_node& g, const char* p) {
    if (rejects(g, p, m_st.end))
        return false;
    if (g.capture < 0)
        return run_inner(g, p);
    const char*& pending = m_st.pend[g.capture];
    const char* old = pending;
    pending = p;
    if (run_inner(g, p))
        return true;
    pending = old;
    return false;
}

bool recursive_matcher::match_group_end(const group_node& g, const char* p) {
    backref_tag& tag = m_st.caps[g.capture];
    const backref_tag old = tag;
    tag = backref_tag{m_st.pend[g.capture], p, true};
    if (match(g.next, p))
        return true;
    tag = old;
    return false;
}

bool recursive_matcher::match_star(const star_node& s, const char* p) {
    const char* const end = m_st.end;
    if (s.greedy) {
        const char* hi = star_extent(s, p, end);
        m_st.meter->charge_scan(static_cast<std::size_t>(hi - p));
        if (static_cast<std::size_t>(hi - p) < s.min)
            return false;
        const char* lo = p + s.min;
        for (const char* q = greedy_candidate(s, lo, hi, end); q != nullptr;
             q = greedy_candidate(s, lo, q - 1, end)) {
            if (match(s.next, q))
                return true;
            if (q == lo)
                break;
        }
        return false;
    }
    const char* lo = star_skip(s, p, end, s.min);
    if (lo == nullptr)
        return false;
    const char* scanned = p;
    for (const char* q = lazy_candidate(s, p, lo, end); q != nullptr; q = lazy_next(s, p, q, end)) {
        m_st.meter->charge_scan(static_cast<std::size_t>(q - scanned));
        scanned = q;
        if (match(s.next, q))
            return true;
    }
    m_st.meter->charge_scan(static_cast<std::size_t>(lazy_limit(s, p, end) - scanned));
    return false;
}

bool recursive_matcher::match_star_ref(const star_node& s, const char* p) {
    ref_range range;
    if (!ref_bounds(s, m_st, p, range))
        return false;
    const char* const end = m_st.end;
    for (const char* q = ref_first(s, end, range); q != nullptr; q = ref_next(s, end, range, q))
        if (match(s.next, q))
            return true;
    return false;
}

bool recursive_matcher::enter_repeat(const repeat_node& r, const char* p) {
    repeat_state& st = m_st.reps[r.id];
    const repeat_state saved = st;
    st = repeat_state{0, nullptr};
    const bool ok = repeat_step(r, p);
    st = saved;
    return ok;
}

// At `p` with st.count iterations done: another iteration or what follows,
// in the order greediness asks for.
bool recursive_matcher::repeat_step(const repeat_node& r, const char* p) {
    repeat_state& st = m_st.reps[r.id];
    const char* oldStart = st.start;
    const bool mayIterate = st.count < r.max;
    if (st.count < r.min || (r.greedy && mayIterate)) {
        st.start = p;
        if (match(r.body, p))
            return true;
        st.start = oldStart;
        if (st.count < r.min)
            return false;
        return match(r.next, p);
    }
    if (match(r.next, p))
        return true;
    if (!mayIterate)
        return false;
    st.start = p;
    if (match(r.body, p))
        return true;
    st.start = oldStart;
    return false;
}

bool recursive_matcher::repeat_tail(const repeat_node& r, const char* p) {
    repeat_state& st = m_st.reps[r.id];
    ++st.count;
    // An iteration that matched the empty string starts no other.
    const bool ok = p == st.start ? match(r.next, p) : repeat_step(r, p);
    --st.count;
    return ok;
}

std::size_t recursive_matcher::save_groups(std::uint32_t low, std::uint32_t high) {
    const std::size_t mark = m_saved.size();
    for (std::uint32_t i = low; i < high; ++i)
        m_saved.push_back(saved_group{i, m_st.caps[i], m_st.pend[i]});
    return mark;
}

// Newest first: a group saved again by a nested construct that succeeded
// must end with the value it had at the mark, not the nested one's.
void recursive_matcher::restore_groups(std::size_t mark) {
    for (std::size_t i = m_saved.size(); i-- > mark;) {
        m_st.caps[m_saved[i].number] = m_saved[i].tag;
        m_st.pend[m_saved[i].number] = m_saved[i].pending;
    }
    m_saved.resize(mark);
}

bool recursive_matcher::run_inner(const group_node& g, const char* p) {
    const char* const end = m_st.end;
    for (std::uint32_t i = viable_alt(g, 0, p, end); i < g.alt_count;
         i = viable_alt(g, i + 1, p, end))
        if (match(g.alts[i], p))
            return true;
    return false;
}

bool recursive_matcher::inner_end(const group_node& owner, const char* p) {
    if (owner.behind && p != m_behindTarget)
        return false;
    m_innerEnd = p;
    return true;
}

// Goes on at `next` from `p`; undoes the groups saved at `mark` on failure.
bool recursive_matcher::continue_after(const group_node& g, const char* p, std::size_t mark) {
    if (match(g.next, p))
        return true;
    restore_groups(mark);
    return false;
}

bool recursive_matcher::match_atomic(const group_node& g, const char* p) {
    if (rejects(g, p, m_st.end))
        return false;
    const std::size_t mark = save_groups(g.cap_low, g.cap_high);
    if (!run_inner(g, p)) {
        m_saved.resize(mark);
        return false;
    }
    return continue_after(g, m_innerEnd, mark);
}

bool recursive_matcher::match_assertion(const group_node& a, const char* p) {
    const std::size_t mark = save_groups(a.cap_low, a.cap_high);
    bool inner = false;
    if (!a.behind) {
        inner = run_inner(a, p);
    } else if (static_cast<std::size_t>(p - m_st.begin) >= a.min_width) {
        const char* outerTarget = m_behindTarget;
        m_behindTarget = p;
        const std::size_t back = std::min(a.max_width, static_cast<std::size_t>(p - m_st.begin));
        for (const char* s = p - back; !inner && s <= p - a.min_width; ++s)
            inner = run_inner(a, s);
        m_behindTarget = outerTarget;
    }
    const bool holds = inner != a.negative;
    if (inner && !holds)
        restore_groups(mark);
    const node* next = a.next;
    if (a.conditional != nullptr)
        next = branch(*a.conditional, holds);
    else if (!holds) {
        m_saved.resize(mark);
        return false;
    }
    if (match(next, p))
        return true;
    restore_groups(mark);
    return false;
}

bool recursive_matcher::match_recursion(const node* n, const char* p) {
    if (p == m_st.rec_start)
        return match(n->next, p);
    const std::size_t mark = save_groups(0, static_cast<std::uint32_t>(m_st.prog->capture_groups));
    const std::size_t repeatMark = m_savedRepeats.size();
    m_savedRepeats.insert(m_savedRepeats.end(), m_st.reps, m_st.reps + m_st.prog->repeat_count);
    const char* outerStart = m_st.rec_start;
    m_st.rec_start = p;
    ++m_st.rec_level;
    const bool inner = match(m_st.prog->root, p);
    --m_st.rec_level;
    m_st.rec_start = outerStart;
    // The groups of the nested match do not outlive it.
    restore_groups(mark);
    std::copy(m_savedRepeats.begin() + static_cast<std::ptrdiff_t>(repeatMark),
              m_savedRepeats.end(), m_st.reps);
    m_savedRepeats.resize(repeatMark);
    if (!inner)
        return false;
    return match(n->next, m_innerEnd);
}

bool recursive_matcher::end_of_pattern(const char* p) {
    if (m_st.rec_level > 0) {
        m_innerEnd = p;
        return true;
    }
    return !(m_st.prev_empty && p == m_st.search_start);
}

} // namespace regex::detail
