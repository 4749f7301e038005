#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

// A row's value texts in one small block: the number of slots, each slot's
// length as a variable-length number, then the texts back to back. A million
// rows of ten short counts take about a hundred bytes each, where ten string
// objects took over four hundred. Empty until a text is stored.
//
// Writes rebuild the block; they come once per query, reads far more often.
// Not thread-safe: the owner guards it.
class CTextPack {
public:
    CTextPack() = default;
    CTextPack(CTextPack&&) noexcept = default;
    CTextPack& operator=(CTextPack&&) noexcept = default;

    // The text of a slot; empty for a slot never written.
    std::string_view Get(std::size_t nSlot) const;
    void Set(std::size_t nSlot, std::string_view strText);
    bool IsEmpty() const { return !m_pBlock; }

private:
    std::unique_ptr<std::uint8_t[]> m_pBlock;
};
