// The node arena of a compiled pattern. Nodes are carved out of blocks that
// are chained newest first and all freed together when the pattern dies;
// single nodes are never freed, so every node type must be trivially
// destructible.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace regex::detail {

// Throws std::bad_alloc with the text "bad allocation".
[[noreturn]] void throw_bad_allocation();

class arena_allocator {
public:
    static constexpr std::size_t block_size = 352;

    arena_allocator() = default;
    ~arena_allocator();
    arena_allocator(arena_allocator&& other) noexcept
        : m_newest(std::exchange(other.m_newest, nullptr)) {}
    arena_allocator& operator=(arena_allocator&&) = delete;
    arena_allocator(const arena_allocator&) = delete;
    arena_allocator& operator=(const arena_allocator&) = delete;

    // n bytes (0 counts as 1), aligned for any node. Throws std::bad_alloc
    // ("bad allocation") when the heap refuses.
    void* allocate(std::size_t n);

    template <class T, class... Args> T* make(Args&&... args) {
        static_assert(std::is_trivially_destructible_v<T>, "arena objects are never destroyed");
        static_assert(alignof(T) <= alignment);
        return new (allocate(sizeof(T))) T{std::forward<Args>(args)...};
    }

    template <class T> T* make_array(std::size_t n) {
        static_assert(std::is_trivially_destructible_v<T>, "arena objects are never destroyed");
        static_assert(alignof(T) <= alignment);
        T* p = static_cast<T*>(allocate(sizeof(T) * (n == 0 ? 1 : n)));
        std::uninitialized_value_construct_n(p, n);
        return p;
    }

private:
    // Pointers need 8-byte alignment on 64-bit systems.
    static constexpr std::size_t alignment = 8;

    struct block {
        std::size_t used;
        std::size_t capacity;
        block* previous;
    };

    block* m_newest = nullptr;
};

} // namespace regex::detail
