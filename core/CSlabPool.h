#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <unordered_set>
#include <vector>

// Small blocks carved from large slabs, with a list of freed blocks for each
// size in steps of eight bytes. A million rows' records and texts cost no
// allocator header each, and go all at once with their pool instead of one
// by one. Blocks over a kilobyte come from the heap and are tracked.
//
// Not thread-safe: the owner serialises every call.
class CSlabPool {
public:
    CSlabPool() = default;
    ~CSlabPool();

    CSlabPool(const CSlabPool&) = delete;
    CSlabPool& operator=(const CSlabPool&) = delete;

    // A block of at least nBytes, aligned to eight bytes.
    void* Allocate(std::size_t nBytes);
    // nBytes on no boundary, for texts that stay until the pool goes; they
    // cannot be freed one by one.
    char* AllocateBytes(std::size_t nBytes);
    // Takes back a block of this pool, of the size it was asked with.
    void Free(void* pBlock, std::size_t nBytes);
    // Frees every block at once.
    void ReleaseAll();

private:
    static constexpr std::size_t kGranule = 8;
    static constexpr std::size_t kLargest = 1024;
    static constexpr std::size_t kSlabBytes = std::size_t{1} << 20;

    struct SFreeBlock {
        SFreeBlock* pNext;
    };

    static std::size_t SizeClass(std::size_t nBytes);
    // Room for nBytes at m_pNext, in a new slab when the current one is full.
    void MakeRoom(std::size_t nBytes);

    std::array<SFreeBlock*, kLargest / kGranule + 1> m_freeLists{};
    std::vector<std::unique_ptr<std::byte[]>> m_arrSlabs;
    std::byte* m_pNext = nullptr;
    std::size_t m_nLeft = 0;
    std::unordered_set<void*> m_large;
};
