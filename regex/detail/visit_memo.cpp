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

void visit_memo::forget(std::size_t pos) {
    const std::uint64_t keep = ~(std::uint64_t{1} << (pos & 63));
    for (auto& t : m_tables)
        if (t != nullptr)
            t.get()[pos >> 6] &= keep;
}

} // namespace regex::detail
