#include "core/CTextPack.h"

#include "core/CSlabPool.h"

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

std::uint8_t* WriteLength(std::uint8_t* pAt, std::size_t nLength) {
    while (nLength >= 0x80) {
        *pAt++ = static_cast<std::uint8_t>(nLength | 0x80);
        nLength >>= 7;
    }
    *pAt++ = static_cast<std::uint8_t>(nLength);
    return pAt;
}

std::size_t LengthBytes(std::size_t nLength) {
    std::size_t nBytes = 1;
    for (; nLength >= 0x80; nLength >>= 7) {
        ++nBytes;
    }
    return nBytes;
}

// The slots of a block, kept on the stack for the usual few dozen.
class CSlots {
public:
    explicit CSlots(const std::uint8_t* pBlock) {
        if (pBlock == nullptr) {
            return;
        }
        const std::uint8_t* pAt = pBlock;
        Resize(ReadLength(pAt));
        for (std::size_t i = 0; i < m_nCount; ++i) {
            m_pSlots[i] = std::string_view(nullptr, ReadLength(pAt));
        }
        for (std::size_t i = 0; i < m_nCount; ++i) {
            m_pSlots[i] = std::string_view(reinterpret_cast<const char*>(pAt), m_pSlots[i].size());
            pAt += m_pSlots[i].size();
        }
    }

    void Resize(std::size_t nCount) {
        if (nCount > kInline && nCount > m_arrMore.size()) {
            m_arrMore.assign(m_pSlots, m_pSlots + m_nCount);
            m_arrMore.resize(nCount);
            m_pSlots = m_arrMore.data();
        }
        for (std::size_t i = m_nCount; i < nCount; ++i) {
            m_pSlots[i] = {};
        }
        m_nCount = std::max(m_nCount, nCount);
    }

    std::string_view& operator[](std::size_t i) { return m_pSlots[i]; }
    std::size_t Count() const { return m_nCount; }

    // The bytes of the block that holds these slots.
    std::size_t BlockBytes() const {
        std::size_t nBytes = LengthBytes(m_nCount);
        for (std::size_t i = 0; i < m_nCount; ++i) {
            nBytes += LengthBytes(m_pSlots[i].size()) + m_pSlots[i].size();
        }
        return nBytes;
    }

    // Writes the block into pBlock, which holds BlockBytes().
    void Build(std::uint8_t* pBlock) const {
        std::uint8_t* pAt = WriteLength(pBlock, m_nCount);
        for (std::size_t i = 0; i < m_nCount; ++i) {
            pAt = WriteLength(pAt, m_pSlots[i].size());
        }
        for (std::size_t i = 0; i < m_nCount; ++i) {
            if (!m_pSlots[i].empty()) {
                std::memcpy(pAt, m_pSlots[i].data(), m_pSlots[i].size());
            }
            pAt += m_pSlots[i].size();
        }
    }

private:
    static constexpr std::size_t kInline = 48;
    std::string_view m_inline[kInline];
    std::vector<std::string_view> m_arrMore;
    std::string_view* m_pSlots = m_inline;
    std::size_t m_nCount = 0;
};

// The size of a block, read from its own header.
std::size_t BlockBytesOf(const std::uint8_t* pBlock) {
    const std::uint8_t* pAt = pBlock;
    std::size_t nTexts = 0;
    for (std::size_t nSlots = ReadLength(pAt); nSlots > 0; --nSlots) {
        nTexts += ReadLength(pAt);
    }
    return static_cast<std::size_t>(pAt - pBlock) + nTexts;
}

} // namespace

CTextPack::~CTextPack() {
    // A pool's blocks go with the pool.
    if (m_pPool == nullptr) {
        Release();
    }
}

std::uint8_t* CTextPack::Allocate(std::size_t nBytes) {
    return m_pPool != nullptr ? static_cast<std::uint8_t*>(m_pPool->Allocate(nBytes))
                              : new std::uint8_t[nBytes];
}

void CTextPack::Release() {
    if (m_pBlock == nullptr) {
        return;
    }
    if (m_pPool != nullptr) {
        m_pPool->Free(m_pBlock, BlockBytesOf(m_pBlock));
    } else {
        delete[] m_pBlock;
    }
    m_pBlock = nullptr;
}

std::string_view CTextPack::Get(std::size_t nSlot) const {
    if (m_pBlock == nullptr) {
        return {};
    }
    const std::uint8_t* pAt = m_pBlock;
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

std::vector<std::string_view> CTextPack::GetFirst(std::size_t nSlots) const {
    std::vector<std::string_view> texts(nSlots);
    if (m_pBlock == nullptr) {
        return texts;
    }
    const std::uint8_t* pAt = m_pBlock;
    const std::size_t nHeld = ReadLength(pAt);
    // The lengths are read twice, the first time only to find where the
    // texts begin: no list of them to allocate for every row of an export.
    const std::uint8_t* pLength = pAt;
    for (std::size_t i = 0; i < nHeld; ++i) {
        ReadLength(pAt);
    }
    const auto* pText = reinterpret_cast<const char*>(pAt);
    for (std::size_t i = 0; i < nSlots && i < nHeld; ++i) {
        const std::size_t nLength = ReadLength(pLength);
        texts[i] = {pText, nLength};
        pText += nLength;
    }
    return texts;
}

void CTextPack::Set(std::size_t nSlot, std::string_view strText) {
    Set({{nSlot, strText}});
}

void CTextPack::Set(std::initializer_list<SWrite> writes) {
    if (m_pBlock == nullptr && std::all_of(writes.begin(), writes.end(), [](const SWrite& write) {
            return write.strText.empty();
        })) {
        return;
    }
    CSlots slots(m_pBlock);
    for (const SWrite& write : writes) {
        slots.Resize(write.nSlot + 1);
        slots[write.nSlot] = write.strText;
    }
    std::uint8_t* pBlock = Allocate(slots.BlockBytes());
    slots.Build(pBlock);
    // The old block goes only now: the slots pointed into it.
    Release();
    m_pBlock = pBlock;
}
