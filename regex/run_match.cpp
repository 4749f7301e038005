// The match call: prepares the state, picks the search (memo_planner.h says
// which pattern takes which), walks the start positions (literal-prefix
// scanner, first-byte filter, minimum length) and, under the global flag,
// collects successive matches.
#include "regex/compiled_pattern.h"

#include "regex/detail/iterative_matcher.h"
#include "regex/detail/linear_matcher.h"
#include "regex/detail/match_state.h"
#include "regex/detail/program.h"
#include "regex/detail/recursive_matcher.h"
#include "regex/detail/stack_limit.h"
#include "regex/detail/step_meter.h"
#include "regex/detail/visit_memo.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <type_traits>

namespace regex {

namespace {

using namespace detail;

// The next position in [p, last] whose byte can begin a match, or null.
const char* next_start(const program& prog, const char* p, const char* last) {
    if (prog.first_single >= 0) {
        const void* hit = std::memchr(p, prog.first_single, static_cast<std::size_t>(last - p) + 1);
        return static_cast<const char*>(hit);
    }
    const byte_table& in = *prog.first_bytes;
    for (; p <= last; ++p)
        if (in.test(static_cast<unsigned char>(*p)))
            return p;
    return nullptr;
}

// One attempt (every start position from `start`); true when group 0 matched,
// its results then in st.caps.
template <class Matcher> bool attempt(Matcher& m, match_state& st, const char* start) {
    const program& prog = *st.prog;
    // The linear matcher leaves the entries as they were when it fails and
    // sets them all when it succeeds: they were cleared once for the call.
    if constexpr (!std::is_same_v<Matcher, linear_matcher>)
        std::fill(st.caps, st.caps + prog.capture_groups, null_backref);
    st.search_start = start;
    if (static_cast<std::size_t>(st.end - start) < prog.min_length)
        return false;
    const char* last = st.end - prog.min_length;
    const bool later = prog.try_later_starts;
    if (prog.flags & rightmost) {
        // A match tried right of the search start cannot end there, so the
        // previous empty match keeps its guard until the start itself is
        // tried; clearing it earlier would find that empty match forever.
        for (const char* p = last;; --p) {
            if (m.match_at(p))
                return true;
            if (p == start || !later)
                return false;
        }
    }
    if (st.earliest != nullptr && start < st.earliest) {
        if (!later)
            return false;
        start = st.earliest;
    }
    if (!later) // only the first candidate, whatever its first byte
        return m.match_at(start);
    const char* p = start;
    for (;;) {
        // The earliest start an end anchor allows may lie past the last
        // place a match fits.
        if (p > last)
            return false;
        if (!prog.scanner.empty())
            p = prog.scanner.find(p, last, st.end);
        else if (prog.first_bytes != nullptr && p < st.end)
            p = next_start(prog, p, std::min(last, st.end - 1));
        if (p == nullptr || p > last)
            return false;
        st.meter->charge();
        if (m.match_at(p))
            return true;
        st.prev_empty = false;
        ++p;
    }
}

template <class Matcher> bool guarded_attempt(Matcher& m, match_state& st, const char* start) {
    if constexpr (std::is_same_v<Matcher, linear_matcher>)
        return attempt(m, st, start); // it neither recurses nor allocates
    const bool prevEmpty = st.prev_empty;
    try {
        const bool ok = attempt(m, st, start);
        m.release();
        return ok;
    } catch (const stack_exhausted&) {
        // The same attempt again on a stack of the matcher's own: the same
        // results, only slower.
        m.release();
        st.prev_empty = prevEmpty;
        iterative_matcher again(st);
        return guarded_attempt(again, st, start);
    } catch (...) {
        m.release();
        throw;
    }
}

[[gnu::always_inline]] inline void record(const program& prog, const match_state& st,
                                          std::vector<backref_tag>& out) {
    if (prog.flags & first_backrefs) {
        out.push_back(st.caps[0]);
    } else if (prog.flags & all_backrefs) {
        for (std::size_t i = 0; i < prog.capture_groups; ++i) // a few entries: no memmove call
            out.push_back(st.caps[i]);
    } else {
        out.assign(st.caps, st.caps + prog.capture_groups);
    }
}

// Once the matches have covered a sixty-fourth of the subject, room for as
// many entries as the rest will likely bring: a long list of matches is then
// not copied again and again as it grows. Room never written costs nothing
// but address space.
void reserve_ahead(std::vector<backref_tag>& out, const match_state& st, const char* reached) {
    const auto covered = static_cast<double>(reached - st.begin);
    if (covered <= 0 || !(st.prog->flags & (first_backrefs | all_backrefs)))
        return;
    const auto whole = static_cast<double>(st.end - st.begin);
    const auto expected =
        static_cast<std::size_t>(static_cast<double>(out.size()) * whole / covered * 1.125) + 16;
    if (expected <= out.capacity())
        return;
    try {
        out.reserve(expected);
    } catch (const std::exception&) {
        // Only a guess: when the room cannot be had, the list grows as needed.
    }
}

template <class Matcher> bool run(Matcher& m, match_state& st, match_backrefs& results) {
    const program& prog = *st.prog;
    std::vector<backref_tag>& out = results.entries();
    out.clear();
    if (!(prog.flags & global)) {
        guarded_attempt(m, st, st.begin);
        out.assign(st.caps, st.caps + prog.capture_groups);
        return st.caps[0].matched;
    }
    const char* start = st.begin;
    const char* sampled = st.begin + (st.end - st.begin) / 64;
    bool reserved = st.end - st.begin < (1 << 16); // short subjects: nothing worth it
    while (guarded_attempt(m, st, start)) {
        record(prog, st, out);
        st.prev_empty = st.caps[0].first == st.caps[0].second;
        start = st.caps[0].second;
        // The visits on the way to this match were no failures; the next
        // search is only ever at its end again.
        if (st.memo != nullptr)
            st.memo->forget(static_cast<std::size_t>(start - st.begin));
        if (!reserved && start >= sampled) {
            reserve_ahead(out, st, start);
            reserved = true;
        }
    }
    return !out.empty();
}

// Each matcher in a function of its own, so that the frame of one does not
// carry the other's stack block.
template <class Matcher> [[gnu::noinline]] bool run_with(match_state& st, match_backrefs& results) {
    Matcher m(st);
    return run(m, st, results);
}

// A match that can only start at the subject begin is tried there alone:
// under global the next search starts past it, where none can start. The
// one match's entries are the whole list, so they are built in place.
bool run_once(const program& prog, match_backrefs& results, const char* begin, const char* end,
              step_meter& meter) {
    std::vector<backref_tag>& out = results.entries();
    out.assign(prog.capture_groups, null_backref);
    results.set_subject_begin(begin);
    match_state st;
    st.prog = &prog;
    st.begin = begin;
    st.end = end;
    st.search_start = begin;
    st.caps = out.data();
    st.meter = &meter;
    basic_linear_matcher<false> m(st); // one try: no run to remember
    // The anchor that begins the pattern holds at the begin.
    const bool found =
        static_cast<std::size_t>(end - begin) >= prog.min_length && m.match_from(1, begin);
    if (!(prog.flags & global))
        return found;
    if (!found)
        out.clear();
    else if (prog.flags & first_backrefs)
        out.resize(1);
    return found;
}

// A pattern the linear matcher takes needs no pending starts and no
// repetition counters, and its few groups fit in the frame.
bool run_linear(const program& prog, match_backrefs& results, const char* begin, const char* end,
                step_meter& meter) {
    // Not constructed: only the entries of the pattern are used.
    union entries {
        entries() {}
        backref_tag tags[linear_plan::max_groups];
    } caps;
    match_state st;
    st.prog = &prog;
    st.begin = begin;
    st.end = end;
    st.caps = caps.tags;
    st.meter = &meter;
    results.set_subject_begin(begin);
    linear_matcher m(st);
    std::fill(st.caps, st.caps + prog.capture_groups, null_backref);
    return run(m, st, results);
}

// Where the first match can start at the earliest when every match ends at
// an end anchor and takes only the bytes of prog.tail_bytes: after the last
// other byte before the end (or before a final '\n' the anchor allows). Null
// when the pattern says nothing of it.
const char* earliest_start(const program& prog, const char* begin, const char* end) {
    if (prog.tail_bytes == nullptr)
        return nullptr;
    const byte_table& taken = *prog.tail_bytes;
    const auto after_other = [&](const char* to) {
        while (to != begin && taken.test(static_cast<unsigned char>(to[-1])))
            --to;
        return to;
    };
    const char* earliest = after_other(end);
    if (prog.tail_final_lf && end != begin && end[-1] == '\n')
        earliest = std::min(earliest, after_other(end - 1));
    return earliest;
}

bool run_backtracking(const program& prog, match_backrefs& results, const char* begin,
                      const char* end, step_meter& meter, bool memo) {
    small_array<backref_tag, 8> caps(prog.capture_groups);
    small_array<const char*, 8> pend(prog.capture_groups);
    small_array<repeat_state, 4> reps(prog.repeat_count);
    match_state st;
    st.prog = &prog;
    st.begin = begin;
    st.end = end;
    st.caps = caps.data();
    st.pend = pend.data();
    st.reps = reps.data();
    st.meter = &meter;
    results.set_subject_begin(begin);
    if (memo) {
        st.earliest = earliest_start(prog, begin, end);
        visit_memo visits(prog.memo_guard.size(), static_cast<std::size_t>(end - begin));
        st.memo = &visits;
        return run_with<iterative_matcher>(st, results);
    }
    const bool iterate =
        prog.mode == mode_iterative || (prog.mode == mode_auto && !prog.recursion_safe);
    if (iterate)
        return run_with<iterative_matcher>(st, results);
    return run_with<recursive_matcher>(st, results);
}

// Steps the plain backtracking search may take (a few thousand, and one per
// eight subject bytes) before a pattern of the linear-time search's kind is
// searched again with the memory of visits. The genuine result pages take a
// twentieth of that; setting up the memory would cost them more than their
// whole match. A hostile reply wastes at most these steps, so the search
// stays linear in the subject.
constexpr std::uint64_t probe_steps = 4096;
constexpr std::uint64_t probe_bytes_per_step = 8;

bool run_memo(const program& prog, match_backrefs& results, const char* begin, const char* end,
              step_meter& meter, bool atOnce) {
    if (!atOnce) {
        step_meter probe;
        probe.limit(probe_steps + static_cast<std::uint64_t>(end - begin) / probe_bytes_per_step,
                    meter.cancel_flag());
        try {
            return run_backtracking(prog, results, begin, end, probe, false);
        } catch (const match_stopped& stopped) {
            if (stopped.why != match_status::too_long)
                throw;
        }
    }
    return run_backtracking(prog, results, begin, end, meter, true);
}

bool run_search(const program& prog, match_backrefs& results, const char* begin, const char* end,
                step_meter& meter, const match_limits& limits) {
    // The iterative matcher is kept for every pattern that asks for it, so
    // the two stay comparable on the patterns the linear plan takes.
    if (!prog.linear.empty() && prog.mode != mode_iterative && !limits.backtrack_only)
        return prog.linear.anchored ? run_once(prog, results, begin, end, meter)
                                    : run_linear(prog, results, begin, end, meter);
    if (prog.memo_search && !limits.backtrack_only)
        return run_memo(prog, results, begin, end, meter, limits.linear_at_once);
    return run_backtracking(prog, results, begin, end, meter, false);
}

} // namespace

bool run_match(const compiled_pattern& pattern, match_backrefs& results, const char* begin,
               const char* end) {
    step_meter unlimited;
    return run_search(pattern.program(), results, begin, end, unlimited, {});
}

match_status run_match(const compiled_pattern& pattern, match_backrefs& results, const char* begin,
                       const char* end, const match_limits& limits) {
    const program& prog = pattern.program();
    step_meter meter;
    const bool linear = prog.memo_search && !limits.backtrack_only;
    meter.limit(linear ? 0 : limits.step_budget, limits.cancel);
    try {
        return run_search(prog, results, begin, end, meter, limits) ? match_status::found
                                                                    : match_status::not_found;
    } catch (const match_stopped& stopped) {
        results.entries().clear();
        results.set_subject_begin(begin);
        return stopped.why;
    }
}

} // namespace regex
