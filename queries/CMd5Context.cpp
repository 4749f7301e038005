#include "queries/CMd5Context.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kBlockSize = 64;

std::uint32_t RotateLeft(std::uint32_t nValue, unsigned nCount) {
    return (nValue << nCount) | (nValue >> (32 - nCount));
}

std::uint32_t LoadLittleEndian(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

void StoreLittleEndian(std::uint32_t nValue, std::uint8_t* p) {
    for (int i = 0; i < 4; ++i) {
        p[i] = std::uint8_t(nValue >> (8 * i));
    }
}

// Per step: the shift amounts of the four rounds, and the sine-derived table.
constexpr unsigned kShifts[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr std::uint32_t kSines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

} // namespace

CMd5Context::CMd5Context()
    : m_arrState{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, m_arrCount{0, 0}, m_arrBuffer{} {}

CMd5Context::~CMd5Context() = default;

void CMd5Context::Update(const std::uint8_t* pData, std::size_t nLength) {
    std::size_t nUsed = (m_arrCount[0] >> 3) % kBlockSize;
    const std::uint64_t nBits =
        (std::uint64_t(m_arrCount[1]) << 32 | m_arrCount[0]) + (std::uint64_t(nLength) << 3);
    m_arrCount[0] = std::uint32_t(nBits);
    m_arrCount[1] = std::uint32_t(nBits >> 32);

    while (nLength > 0) {
        const std::size_t nTake = std::min(nLength, kBlockSize - nUsed);
        std::memcpy(m_arrBuffer.data() + nUsed, pData, nTake);
        nUsed += nTake;
        pData += nTake;
        nLength -= nTake;
        if (nUsed == kBlockSize) {
            Transform(m_arrBuffer.data());
            nUsed = 0;
        }
    }
}

CMd5Context::Digest CMd5Context::Final() {
    std::uint8_t arrBits[8];
    StoreLittleEndian(m_arrCount[0], arrBits);
    StoreLittleEndian(m_arrCount[1], arrBits + 4);

    // A 0x80 byte, then zeros up to 56 bytes into a block, then the bit count.
    static constexpr std::uint8_t kPadding[kBlockSize] = {0x80};
    const std::size_t nUsed = (m_arrCount[0] >> 3) % kBlockSize;
    const std::size_t nPad = nUsed < 56 ? 56 - nUsed : 120 - nUsed;
    Update(kPadding, nPad);
    Update(arrBits, sizeof arrBits);

    Digest digest;
    for (std::size_t i = 0; i < m_arrState.size(); ++i) {
        StoreLittleEndian(m_arrState[i], digest.data() + 4 * i);
    }
    return digest;
}

void CMd5Context::Transform(const std::uint8_t* pBlock) {
    std::uint32_t x[16];
    for (std::size_t i = 0; i < 16; ++i) {
        x[i] = LoadLittleEndian(pBlock + 4 * i);
    }

    std::uint32_t a = m_arrState[0], b = m_arrState[1], c = m_arrState[2], d = m_arrState[3];
    for (unsigned i = 0; i < 64; ++i) {
        const unsigned nRound = i / 16;
        std::uint32_t f;
        unsigned g;
        switch (nRound) {
        case 0:
            f = (b & c) | (~b & d);
            g = i;
            break;
        case 1:
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
            break;
        }
        const std::uint32_t nNext =
            b + RotateLeft(a + f + kSines[i] + x[g], kShifts[nRound][i % 4]);
        a = d;
        d = c;
        c = b;
        b = nNext;
    }

    m_arrState[0] += a;
    m_arrState[1] += b;
    m_arrState[2] += c;
    m_arrState[3] += d;
}
