// The memory of the linear-time search: one bit per (point of the pattern,
// subject position) that the search has been at. A table is taken for a
// point only when the search first reaches it, from zeroed pages the system
// hands out as they are touched, so a point costs nothing until it is used
// and then one bit per subject byte at most.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace regex::detail {

class visit_memo {
public:
    // `points` tables over positions 0 to `positions` inclusive.
    visit_memo(std::size_t points, std::size_t positions);
    visit_memo(const visit_memo&) = delete;
    visit_memo& operator=(const visit_memo&) = delete;

    // True when (point, pos) was visited before; marks it visited.
    bool visit(std::uint32_t point, std::size_t pos) {
        std::uint64_t& word = table(point)[pos >> 6];
        const std::uint64_t bit = std::uint64_t{1} << (pos & 63);
        const bool seen = (word & bit) != 0;
        word |= bit;
        return seen;
    }
    // The first visited position in [from, to], or to + 1 when none is.
    std::size_t first_visited(std::uint32_t point, std::size_t from, std::size_t to);
    // Marks [from, to] visited.
    void mark(std::uint32_t point, std::size_t from, std::size_t to);
    // Forgets every point's visit at `pos`.
    void forget(std::size_t pos);

private:
    struct freer {
        void operator()(std::uint64_t* p) const;
    };
    std::uint64_t* table(std::uint32_t point) {
        std::uint64_t* t = m_tables[point].get();
        return t != nullptr ? t : allocate(point);
    }
    std::uint64_t* allocate(std::uint32_t point);

    std::size_t m_words;
    std::vector<std::unique_ptr<std::uint64_t, freer>> m_tables;
};

inline std::size_t visit_memo::first_visited(std::uint32_t point, std::size_t from,
                                             std::size_t to) {
    if (from > to)
        return to + 1;
    const std::uint64_t* t = table(point);
    std::size_t w = from >> 6;
    std::uint64_t bits = t[w] & (~std::uint64_t{0} << (from & 63));
    const std::size_t last = to >> 6;
    while (bits == 0) {
        if (w == last)
            return to + 1;
        bits = t[++w];
    }
    const std::size_t at = (w << 6) + static_cast<std::size_t>(__builtin_ctzll(bits));
    return at <= to ? at : to + 1;
}

inline void visit_memo::mark(std::uint32_t point, std::size_t from, std::size_t to) {
    if (from > to)
        return;
    std::uint64_t* t = table(point);
    const std::size_t first = from >> 6;
    const std::size_t last = to >> 6;
    const std::uint64_t low = ~std::uint64_t{0} << (from & 63);
    const std::uint64_t high = ~std::uint64_t{0} >> (63 - (to & 63));
    if (first == last) {
        t[first] |= low & high;
        return;
    }
    t[first] |= low;
    for (std::size_t w = first + 1; w < last; ++w)
        t[w] = ~std::uint64_t{0};
    t[last] |= high;
}

} // namespace regex::detail
