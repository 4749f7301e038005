#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

class CSlabPool;

// A row's texts in one small block: the number of slots, each slot's length
// as a variable-length number, then the texts back to back. A million rows
// of ten short counts take about a hundred bytes each, where ten string
// objects took over four hundred. Empty until a text is stored.
//
// The block comes from a pool when one is given, and then lives and dies
// with that pool; else from the heap, and dies with the pack. Writes rebuild
// the block; they come once per query, reads far more often.
// Not thread-safe: the owner guards it and its pool.
class CTextPack {
public:
    explicit CTextPack(CSlabPool* pPool = nullptr) : m_pPool(pPool) {}
    ~CTextPack();

    CTextPack(const CTextPack&) = delete;
    CTextPack& operator=(const CTextPack&) = delete;

    struct SWrite {
        std::size_t nSlot;
        std::string_view strText;
    };

    // The text of a slot; empty for a slot never written.
    std::string_view Get(std::size_t nSlot) const;
    // The texts of the first nSlots slots, in one walk of the block.
    std::vector<std::string_view> GetFirst(std::size_t nSlots) const;
    void Set(std::size_t nSlot, std::string_view strText);
    // Writes several slots with one rebuild of the block.
    void Set(std::initializer_list<SWrite> writes);
    bool IsEmpty() const { return m_pBlock == nullptr; }

private:
    std::uint8_t* Allocate(std::size_t nBytes);
    void Release();

    std::uint8_t* m_pBlock = nullptr;
    CSlabPool* m_pPool;
};
