#include "regex/detail/arena_allocator.h"

#include <cstdint>
#include <cstdlib>

namespace regex::detail {

namespace {

struct arena_bad_alloc : std::bad_alloc {
    const char* what() const noexcept override { return "bad allocation"; }
};

constexpr std::size_t header_size = 24; // a block's header, rounded for alignment
constexpr std::size_t max_request = static_cast<std::size_t>(PTRDIFF_MAX) / 2;

} // namespace

void throw_bad_allocation() {
    throw arena_bad_alloc();
}

arena_allocator::~arena_allocator() {
    while (m_newest != nullptr) {
        block* previous = m_newest->previous;
        std::free(m_newest);
        m_newest = previous;
    }
}

void* arena_allocator::allocate(std::size_t n) {
    if (n == 0)
        n = 1;
    // No block can be that large; refuse before the size arithmetic wraps.
    if (n > max_request)
        throw arena_bad_alloc();
    if (m_newest == nullptr || m_newest->used + n > m_newest->capacity) {
        const std::size_t capacity = n > block_size ? n : block_size;
        static_assert(sizeof(block) <= header_size);
        void* raw = std::malloc(header_size + capacity);
        if (raw == nullptr)
            throw arena_bad_alloc();
        auto* b = static_cast<block*>(raw);
        b->used = 0;
        b->capacity = capacity;
        b->previous = m_newest;
        m_newest = b;
    }
    char* data = reinterpret_cast<char*>(m_newest) + header_size;
    void* result = data + m_newest->used;
    m_newest->used += (n + alignment - 1) & ~(alignment - 1);
    return result;
}

} // namespace regex::detail
