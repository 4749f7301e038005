#include "core/CDomainIndex.h"

#include <algorithm>
#include <new>
#include <string>

namespace {

// Eight bytes from nFrom on as a big-endian number, padded with zero bytes.
std::uint64_t BigEndianAt(std::string_view strText, std::size_t nFrom) {
    std::uint64_t nValue = 0;
    for (std::size_t i = 0; i < 8 && nFrom + i < strText.size(); ++i) {
        nValue |= std::uint64_t{static_cast<unsigned char>(strText[nFrom + i])} << (56 - 8 * i);
    }
    return nValue;
}

std::string_view DomainOf(const CDomainRecord* pRecord) {
    return pRecord->GetDomain();
}

// Doubles a vector's room before it is full, so the next push cannot throw.
template <typename T> void KeepRoomForOne(std::vector<T>& arr) {
    if (arr.size() == arr.capacity()) {
        arr.reserve(std::max<std::size_t>(16, 2 * arr.size()));
    }
}

} // namespace

CDomainIndex::CDomainIndex(std::size_t nChunkCapacity)
    : m_nChunkCapacity(std::clamp<std::size_t>(nChunkCapacity, 2, kChunkCapacity)) {}

CDomainIndex::~CDomainIndex() {
    Clear();
}

CDomainRecord* CDomainIndex::Insert(std::string_view strDomain) {
    const SKey key = MakeKey(strDomain);
    SPosition position{0, 0, false};
    if (!m_arrChunks.empty()) {
        position = Locate(key);
        if (position.bFound) {
            return nullptr;
        }
    }
    void* pPlace = m_recordPool.Allocate(sizeof(CDomainRecord));
    auto* pRecord = new (pPlace) CDomainRecord(strDomain, &m_recordPool, &m_textPool);
    try {
        InsertAt(position, {key.prefix, pRecord});
    } catch (...) {
        m_recordPool.Free(pPlace, sizeof(CDomainRecord));
        throw;
    }
    return pRecord;
}

CDomainRecord* CDomainIndex::Find(std::string_view strDomain) const {
    if (m_arrChunks.empty()) {
        return nullptr;
    }
    const SPosition position = Locate(MakeKey(strDomain));
    return position.bFound ? RecordAt(position.nChunk, position.nSlot) : nullptr;
}

CDomainRecord* CDomainIndex::First() const {
    return m_arrChunks.empty() ? nullptr : m_arrChunks.front()->arrRecord[0];
}

CDomainRecord* CDomainIndex::After(std::string_view strDomain) const {
    if (m_arrChunks.empty()) {
        return nullptr;
    }
    const SPosition position = Locate(MakeKey(strDomain));
    return RecordAt(position.nChunk, position.nSlot + (position.bFound ? 1 : 0));
}

CDomainIndex::SFound CDomainIndex::FindFrom(const CDomainRecord* pAfter, std::size_t nLimit,
                                            const std::function<bool(CDomainRecord&)>& fn) const {
    SFound found{nullptr, nullptr};
    if (m_arrChunks.empty()) {
        return found;
    }
    SPosition at{0, 0, false};
    if (pAfter != nullptr) {
        at = PositionOf(*pAfter);
        at.nSlot += at.bFound ? 1 : 0;
    }
    for (std::size_t nChunk = at.nChunk; nChunk < m_arrChunks.size() && nLimit > 0; ++nChunk) {
        const SChunk& chunk = *m_arrChunks[nChunk];
        for (std::size_t nSlot = nChunk == at.nChunk ? at.nSlot : 0;
             nSlot < chunk.nCount && nLimit > 0; ++nSlot, --nLimit) {
            found.pLast = chunk.arrRecord[nSlot];
            m_pWalkEnd = found.pLast;
            m_walkEnd = {nChunk, nSlot, true};
            if (fn(*found.pLast)) {
                found.pFound = found.pLast;
                return found;
            }
        }
    }
    return found;
}

void CDomainIndex::Clear() {
    // A record of the pools frees nothing itself: its texts are the pools'.
    // Both go whole, a few hundred slabs instead of millions of blocks.
    m_arrChunks.clear();
    m_arrBounds.clear();
    m_pWalkEnd = nullptr;
    m_nCount = 0;
    m_textPool.ReleaseAll();
    m_recordPool.ReleaseAll();
}

// Comparing two prefixes orders the texts as their bytes do; equal prefixes
// leave the order to the full texts.
CDomainIndex::SPrefix CDomainIndex::PrefixOf(std::string_view strText) {
    return {BigEndianAt(strText, 0), BigEndianAt(strText, 8)};
}

CDomainIndex::SKey CDomainIndex::MakeKey(std::string_view strText) {
    return {PrefixOf(strText), strText};
}

bool CDomainIndex::KeyBelow(const SKey& key, const SEntry& entry) {
    if (key.prefix != entry.prefix) {
        return key.prefix < entry.prefix;
    }
    return key.strText < DomainOf(entry.pRecord);
}

// The last chunk whose first entry is not above the key; the first chunk when
// the key is below every entry.
std::size_t CDomainIndex::ChunkFor(const SKey& key) const {
    const auto it = std::upper_bound(m_arrBounds.begin(), m_arrBounds.end(), key, KeyBelow);
    return it == m_arrBounds.begin() ? 0 : static_cast<std::size_t>(it - m_arrBounds.begin()) - 1;
}

// Only for a non-empty index.
CDomainIndex::SPosition CDomainIndex::PositionOf(const CDomainRecord& record) const {
    const SPosition& end = m_walkEnd;
    if (&record == m_pWalkEnd && end.nChunk < m_arrChunks.size() &&
        end.nSlot < m_arrChunks[end.nChunk]->nCount &&
        m_arrChunks[end.nChunk]->arrRecord[end.nSlot] == &record) {
        return end;
    }
    return Locate(MakeKey(record.GetDomain()));
}

// Only for a non-empty index.
CDomainIndex::SPosition CDomainIndex::Locate(const SKey& key) const {
    const std::size_t nChunk = ChunkFor(key);
    const SChunk& chunk = *m_arrChunks[nChunk];
    const std::size_t nSlot = LowerSlot(chunk, key);
    const bool bFound = nSlot < chunk.nCount && chunk.arrPrefix[nSlot] == key.prefix &&
                        DomainOf(chunk.arrRecord[nSlot]) == key.strText;
    return {nChunk, nSlot, bFound};
}

std::size_t CDomainIndex::LowerSlot(const SChunk& chunk, const SKey& key) const {
    const SPrefix* pBegin = chunk.arrPrefix.data();
    const SPrefix* pEnd = pBegin + chunk.nCount;
    const SPrefix* pLow = std::lower_bound(pBegin, pEnd, key.prefix);
    const auto nLow = static_cast<std::size_t>(pLow - pBegin);
    if (pLow == pEnd || *pLow != key.prefix) {
        return nLow;
    }
    // Entries sharing the key's prefix: their texts decide.
    const auto nHigh = static_cast<std::size_t>(std::upper_bound(pLow, pEnd, key.prefix) - pBegin);
    CDomainRecord* const* pRecords = chunk.arrRecord.data();
    const auto pAt = std::partition_point(pRecords + nLow, pRecords + nHigh,
                                          [&](const auto* p) { return DomainOf(p) < key.strText; });
    return static_cast<std::size_t>(pAt - pRecords);
}

// A slot one past a chunk's last entry means the next chunk's first.
CDomainRecord* CDomainIndex::RecordAt(std::size_t nChunk, std::size_t nSlot) const {
    if (nSlot < m_arrChunks[nChunk]->nCount) {
        return m_arrChunks[nChunk]->arrRecord[nSlot];
    }
    return nChunk + 1 < m_arrChunks.size() ? m_arrChunks[nChunk + 1]->arrRecord[0] : nullptr;
}

void CDomainIndex::InsertAt(SPosition position, const SEntry& entry) {
    if (m_arrChunks.empty()) {
        AddChunk(0, std::make_unique<SChunk>());
    } else if (m_arrChunks[position.nChunk]->nCount == m_nChunkCapacity) {
        MakeRoom(position);
    }
    SChunk& chunk = *m_arrChunks[position.nChunk];
    const std::size_t nSlot = position.nSlot;
    std::copy_backward(chunk.arrPrefix.begin() + nSlot, chunk.arrPrefix.begin() + chunk.nCount,
                       chunk.arrPrefix.begin() + chunk.nCount + 1);
    std::copy_backward(chunk.arrRecord.begin() + nSlot, chunk.arrRecord.begin() + chunk.nCount,
                       chunk.arrRecord.begin() + chunk.nCount + 1);
    chunk.arrPrefix[nSlot] = entry.prefix;
    chunk.arrRecord[nSlot] = entry.pRecord;
    ++chunk.nCount;
    if (nSlot == 0) {
        m_arrBounds[position.nChunk] = entry;
    }
    ++m_nCount;
}

// Splits the full chunk at the position and moves the position into the half
// that takes the new entry. An entry past the last chunk's end starts a chunk
// of its own instead, so a list added in order fills its chunks.
void CDomainIndex::MakeRoom(SPosition& position) {
    auto pNew = std::make_unique<SChunk>();
    SChunk& full = *m_arrChunks[position.nChunk];
    const bool bAppend = position.nChunk + 1 == m_arrChunks.size() && position.nSlot == full.nCount;
    const std::size_t nKeep = bAppend ? full.nCount : full.nCount / 2;
    pNew->nCount = full.nCount - nKeep;
    std::copy_n(full.arrPrefix.begin() + nKeep, pNew->nCount, pNew->arrPrefix.begin());
    std::copy_n(full.arrRecord.begin() + nKeep, pNew->nCount, pNew->arrRecord.begin());
    AddChunk(position.nChunk + 1, std::move(pNew));
    full.nCount = nKeep;
    if (position.nSlot > nKeep || bAppend) {
        ++position.nChunk;
        position.nSlot -= nKeep;
    }
}

void CDomainIndex::AddChunk(std::size_t nAt, std::unique_ptr<SChunk> pChunk) {
    KeepRoomForOne(m_arrChunks);
    KeepRoomForOne(m_arrBounds);
    const SEntry bound{pChunk->arrPrefix[0], pChunk->arrRecord[0]};
    m_arrBounds.insert(m_arrBounds.begin() + static_cast<std::ptrdiff_t>(nAt), bound);
    m_arrChunks.insert(m_arrChunks.begin() + static_cast<std::ptrdiff_t>(nAt), std::move(pChunk));
}
