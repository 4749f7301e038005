#include "core/CTextPack.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Seven bits a byte, the high bit set on every byte but the last.
std::size_t ReadLength(const std::uint8_t*& pAt) {
    std::size_t nLength = 0;
    for (unsigned nShift = 0;; nShift += 7) {
        const std::uint8_t nByte = *pAt++;
        nLength |= static_cast<std::size_t>(nByte & 0x7F) << nShift;
        if ((nByte & 0x80) == 0) {
            return nLength;
        }
    }
}

void WriteLength(std::vector<std::uint8_t>& out, std::size_t nLength) {
    while (nLength >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(nLength | 0x80));
        nLength >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(nLength));
}

// The slots' texts, read out of a block (none for a null block).
std::vector<std::string_view> Slots(const std::uint8_t* pBlock) {
    std::vector<std::string_view> slots;
    if (pBlock == nullptr) {
        return slots;
    }
    const std::uint8_t* pAt = pBlock;
    const std::size_t nSlots = ReadLength(pAt);
    std::vector<std::size_t> lengths(nSlots);
    for (std::size_t& nLength : lengths) {
        nLength = ReadLength(pAt);
    }
    for (std::size_t nLength : lengths) {
        slots.emplace_back(reinterpret_cast<const char*>(pAt), nLength);
        pAt += nLength;
    }
    return slots;
}

} // namespace

std::string_view CTextPack::Get(std::size_t nSlot) const {
    if (!m_pBlock) {
        return {};
    }
    const std::uint8_t* pAt = m_pBlock.get();
    const std::size_t nSlots = ReadLength(pAt);
    if (nSlot >= nSlots) {
        return {};
    }
    std::size_t nOffset = 0;
    std::size_t nLength = 0;
    for (std::size_t i = 0; i < nSlots; ++i) {
        const std::size_t n = ReadLength(pAt);
        if (i < nSlot) {
            nOffset += n;
        } else if (i == nSlot) {
            nLength = n;
        }
    }
    return {reinterpret_cast<const char*>(pAt) + nOffset, nLength};
}

void CTextPack::Set(std::size_t nSlot, std::string_view strText) {
    if (!m_pBlock && strText.empty()) {
        return;
    }
    std::vector<std::string_view> slots = Slots(m_pBlock.get());
    slots.resize(std::max(slots.size(), nSlot + 1));
    slots[nSlot] = strText;

    std::vector<std::uint8_t> header;
    std::size_t nTextBytes = 0;
    WriteLength(header, slots.size());
    for (std::string_view slot : slots) {
        WriteLength(header, slot.size());
        nTextBytes += slot.size();
    }
    auto pBlock = std::make_unique_for_overwrite<std::uint8_t[]>(header.size() + nTextBytes);
    std::memcpy(pBlock.get(), header.data(), header.size());
    std::uint8_t* pAt = pBlock.get() + header.size();
    for (std::string_view slot : slots) {
        if (!slot.empty()) {
            std::memcpy(pAt, slot.data(), slot.size());
        }
        pAt += slot.size();
    }
    // The old block goes only now: the slots pointed into it.
    m_pBlock = std::move(pBlock);
}
