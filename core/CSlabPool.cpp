#include "core/CSlabPool.h"

#include <algorithm>
#include <cstdint>
#include <new>

CSlabPool::~CSlabPool() {
    ReleaseAll();
}

std::size_t CSlabPool::SizeClass(std::size_t nBytes) {
    return (std::max(nBytes, sizeof(SFreeBlock)) + kGranule - 1) / kGranule;
}

void* CSlabPool::Allocate(std::size_t nBytes) {
    if (nBytes > kLargest) {
        void* pBlock = ::operator new(nBytes);
        try {
            m_large.insert(pBlock);
        } catch (...) {
            ::operator delete(pBlock);
            throw;
        }
        return pBlock;
    }
    const std::size_t nClass = SizeClass(nBytes);
    if (SFreeBlock* pFree = m_freeLists[nClass]) {
        m_freeLists[nClass] = pFree->pNext;
        return pFree;
    }
    const std::size_t nSize = nClass * kGranule;
    // Blocks start on a granule; unaligned texts may have come before.
    const std::size_t nPad =
        (kGranule - reinterpret_cast<std::uintptr_t>(m_pNext) % kGranule) % kGranule;
    if (m_nLeft >= nPad) {
        m_pNext += nPad;
        m_nLeft -= nPad;
    }
    MakeRoom(nSize);
    void* pBlock = m_pNext;
    m_pNext += nSize;
    m_nLeft -= nSize;
    return pBlock;
}

char* CSlabPool::AllocateBytes(std::size_t nBytes) {
    if (nBytes > kLargest) {
        return static_cast<char*>(Allocate(nBytes));
    }
    MakeRoom(nBytes);
    auto* pText = reinterpret_cast<char*>(m_pNext);
    m_pNext += nBytes;
    m_nLeft -= nBytes;
    return pText;
}

void CSlabPool::MakeRoom(std::size_t nBytes) {
    if (m_nLeft < nBytes) {
        m_arrSlabs.push_back(std::make_unique_for_overwrite<std::byte[]>(kSlabBytes));
        m_pNext = m_arrSlabs.back().get();
        m_nLeft = kSlabBytes;
    }
}

void CSlabPool::Free(void* pBlock, std::size_t nBytes) {
    if (pBlock == nullptr) {
        return;
    }
    if (nBytes > kLargest) {
        m_large.erase(pBlock);
        ::operator delete(pBlock);
        return;
    }
    const std::size_t nClass = SizeClass(nBytes);
    auto* pFree = static_cast<SFreeBlock*>(pBlock);
    pFree->pNext = m_freeLists[nClass];
    m_freeLists[nClass] = pFree;
}

void CSlabPool::ReleaseAll() {
    for (void* pBlock : m_large) {
        ::operator delete(pBlock);
    }
    m_large.clear();
    m_freeLists.fill(nullptr);
    m_arrSlabs.clear();
    m_pNext = nullptr;
    m_nLeft = 0;
}
