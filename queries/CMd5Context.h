#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One MD5 digest (RFC 1321) computed in steps: Update with the bytes in any
// pieces, then Final once. A context lives for one digest.
class CMd5Context {
public:
    static constexpr std::size_t kDigestSize = 16;
    using Digest = std::array<std::uint8_t, kDigestSize>;

    CMd5Context();
    virtual ~CMd5Context();

    void Update(const std::uint8_t* pData, std::size_t nLength);
    // Pads, appends the bit count and returns the digest; the context is spent.
    Digest Final();

private:
    void Transform(const std::uint8_t* pBlock);

    std::array<std::uint32_t, 4> m_arrState;
    // Bits hashed so far, low word first.
    std::array<std::uint32_t, 2> m_arrCount;
    std::array<std::uint8_t, 64> m_arrBuffer;
};
