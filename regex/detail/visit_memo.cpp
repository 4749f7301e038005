#include "regex/detail/visit_memo.h"

#include <cstdlib>
#include <new>

namespace regex::detail {

visit_memo::visit_memo(std::size_t points, std::size_t positions)
    : m_words(positions / 64 + 1), m_tables(points) {}

void visit_memo::freer::operator()(std::uint64_t* p) const {
    std::free(p);
}

std::uint64_t* visit_memo::allocate(std::uint32_t point) {
    // calloc: large tables come as untouched zero pages.
    auto* t = static_cast<std::uint64_t*>(std::calloc(m_words, sizeof(std::uint64_t)));
    if (t == nullptr)
        throw std::bad_alloc();
    m_tables[point].reset(t);
    return t;
}

std::size_t visit_memo::first_visited(std::uint32_t point, std::size_t from, std::size_t to) {
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

void visit_memo::mark(std::uint32_t point, std::size_t from, std::size_t to) {
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

void visit_memo::forget(std::size_t pos) {
    const std::uint64_t keep = ~(std::uint64_t{1} << (pos & 63));
    for (auto& t : m_tables)
        if (t != nullptr)
            t.get()[pos >> 6] &= keep;
}

} // namespace regex::detail
