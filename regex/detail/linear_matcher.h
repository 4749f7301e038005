// The linear matcher: runs a pattern's linear plan (linear_step.h), the moves
// the analysis found when every choice is decided by the next byte, once
// from left to right, with no backtracking state at all.
#pragma once

#include "regex/detail/linear_step.h"
#include "regex/detail/match_state.h"
#include "regex/detail/pair_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace regex::detail {

// Remember: keep the last run of each unbounded span (see m_runs), which a
// search that tries many starts needs; a single try at the subject's begin
// does not.
template <bool Remember> class basic_linear_matcher {
public:
    explicit basic_linear_matcher(match_state& st) : m_st(st), m_plan(st.prog->linear) {
        // Only the plan's moves: a matcher is made for every short subject,
        // where clearing the whole table would cost more than the match.
        if constexpr (Remember)
            for (std::size_t i = 0, n = m_plan.moves.size(); i < n; ++i)
                m_runs[i].from = nullptr;
    }

    // Runs the moves at `p`; on success the group results are in st.caps,
    // on failure they are left as they were.
    bool match_at(const char* p);
    bool match_from(std::size_t first, const char* p);
    void release() {}

private:
    const char* move(std::size_t i, const char* p);
    const char* span_end(const linear_step& s, const char* p) const;

    match_state& m_st;
    const linear_plan& m_plan;
    // The last run an unbounded span went over, per move: a span from any
    // place in it ends where it ended, so that tries from later starts in
    // the same run do not scan it again (else a long run that fails after
    // its end takes time quadratic in its length). No run when from is null.
    struct span_run {
        const char* from;
        const char* to;
    };
    span_run m_runs[linear_plan::max_moves];
};

using linear_matcher = basic_linear_matcher<true>;

namespace linear_detail {

// The first of the two bytes at or after `p`, or `end`.
inline const char* find_either(const char* p, const char* end, unsigned char a, unsigned char b) {
    using namespace pair_scan_detail;
    const bytes16 va = bytes16{} + a;
    const bytes16 vb = bytes16{} + b;
    for (; end - p >= 16; p += 16) {
        const bytes16 v = load16(p);
        if (const unsigned hits = mask16((bytes16)((v == va) | (v == vb))))
            return p + __builtin_ctz(hits);
    }
    while (p < end && *p != static_cast<char>(a) && *p != static_cast<char>(b))
        ++p;
    return p;
}

} // namespace linear_detail

// Where a span from `p` stops: at its limit or at the first byte it refuses.
template <bool Remember>
inline const char* basic_linear_matcher<Remember>::span_end(const linear_step& s,
                                                            const char* p) const {
    using kind = linear_step::kind;
    const char* stop = p + std::min(static_cast<std::size_t>(m_st.end - p), s.take);
    const char* q = stop;
    switch (s.what) {
    case kind::span_map:
        q = p;
        while (q < stop && s.map[static_cast<unsigned char>(*q)])
            ++q;
        break;
    case kind::span_stop1:
        if (const void* hit = std::memchr(p, s.stop[0], static_cast<std::size_t>(stop - p)))
            q = static_cast<const char*>(hit);
        break;
    case kind::span_stop2:
        q = linear_detail::find_either(p, stop, s.stop[0], s.stop[1]);
        break;
    default:
        break;
    }
    return q;
}

// Where move `i` from `p` ends, or null when it fails.
template <bool Remember>
[[gnu::always_inline]] inline const char* basic_linear_matcher<Remember>::move(std::size_t i,
                                                                               const char* p) {
    using kind = linear_step::kind;
    const linear_step& s = m_plan.moves[i];
    switch (s.what) {
    case kind::literal:
        return literal_at(*s.lit, p, m_st.end) ? p + s.lit->length : nullptr;
    case kind::anchor:
        return anchor_holds(s.anchor, m_st, p) ? p : nullptr;
    default:
        break;
    }
    const char* q;
    if (s.take != unbounded) {
        q = span_end(s, p);
    } else if constexpr (!Remember) {
        q = span_end(s, p);
        m_st.meter->charge_scan(static_cast<std::size_t>(q - p));
    } else if (span_run& run = m_runs[i]; run.from != nullptr && run.from <= p && p <= run.to) {
        q = run.to;
    } else {
        q = span_end(s, p);
        m_st.meter->charge_scan(static_cast<std::size_t>(q - p));
        run = {p, q};
    }
    return static_cast<std::size_t>(q - p) < s.min ? nullptr : q;
}

template <bool Remember>
[[gnu::always_inline]] inline bool basic_linear_matcher<Remember>::match_at(const char* p) {
    return match_from(0, p);
}

// Moves `first` on from `p`; the moves before it are known to hold there,
// taking no bytes.
template <bool Remember>
[[gnu::always_inline]] inline bool basic_linear_matcher<Remember>::match_from(std::size_t first,
                                                                              const char* p) {
    const std::size_t n = m_plan.moves.size();
    const char* at[linear_plan::max_moves + 1];
    for (std::size_t i = 0; i < first; ++i)
        at[i] = p;
    for (std::size_t i = first; i < n; ++i) {
        at[i] = p;
        p = move(i, p);
        if (p == nullptr)
            return false;
    }
    at[n] = p;
    for (const linear_group& g : m_plan.groups)
        m_st.caps[g.number] = backref_tag{at[g.from], at[g.to], true};
    return true;
}

} // namespace regex::detail
