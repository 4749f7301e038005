#pragma once

#include "core/CDomainRecord.h"
#include "core/CSlabPool.h"

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

// The scan controller's domain index: owns every record, in the byte order of
// the domain texts compared as unsigned values (a text that is a prefix of a
// longer one first).
//
// The entries sit in sorted chunks of a few hundred. Each entry holds the
// first sixteen bytes of its domain as two big-endian numbers beside the
// record pointer, so a look-up compares integers within a few cache lines and
// reads a record's text only when the numbers tie. Sixteen bytes, not eight:
// lists often share a stem ("www.", "site" and a number) long enough to tie
// most eight-byte prefixes. A small array of every chunk's first entry leads
// to the right chunk; a full chunk splits in two.
//
// Records live in the index's pools and keep their addresses until Clear. Positions in the index do
// not survive an insert, so a walk goes from record to record: After(domain) finds the next entry
// again each step.
//
// Not thread-safe: the owner serialises every call.
class CDomainIndex {
public:
    static constexpr std::size_t kChunkCapacity = 256;

    // nChunkCapacity, the most entries a chunk holds before it splits, is
    // kept within 2 and kChunkCapacity; small values only serve tests.
    explicit CDomainIndex(std::size_t nChunkCapacity = kChunkCapacity);
    ~CDomainIndex();

    CDomainIndex(const CDomainIndex&) = delete;
    CDomainIndex& operator=(const CDomainIndex&) = delete;

    // Creates and indexes the record of a new domain; null, with nothing
    // changed, when the domain is indexed already.
    CDomainRecord* Insert(std::string_view strDomain);
    CDomainRecord* Find(std::string_view strDomain) const;
    // The record of the smallest domain; null when the index is empty.
    CDomainRecord* First() const;
    // The record of the smallest domain above strDomain, which need not be
    // indexed itself; null when there is none.
    CDomainRecord* After(std::string_view strDomain) const;
    // What a bounded walk found: the record fn held for (null when none), and
    // the last record it looked at (null when it reached the end).
    struct SFound {
        CDomainRecord* pFound;
        CDomainRecord* pLast;
    };
    // Calls fn on the records above pAfter's domain (from the first when
    // pAfter is null), in order, until it returns true or nLimit records
    // have been looked at. Reads the entries in place: a step costs no search.
    SFound FindFrom(const CDomainRecord* pAfter, std::size_t nLimit,
                    const std::function<bool(CDomainRecord&)>& fn) const;
    std::size_t GetCount() const { return m_nCount; }
    // Deletes every record and empties the index.
    void Clear();

private:
    // Bytes 0 to 7 and 8 to 15, short texts padded with zero bytes.
    struct SPrefix {
        std::uint64_t nHigh;
        std::uint64_t nLow;
        auto operator<=>(const SPrefix&) const = default;
    };
    struct SKey {
        SPrefix prefix;
        std::string_view strText;
    };
    struct SEntry {
        SPrefix prefix;
        CDomainRecord* pRecord;
    };
    // Prefixes and records apart, so a search reads only the prefixes.
    struct SChunk {
        std::size_t nCount = 0;
        std::array<SPrefix, kChunkCapacity> arrPrefix;
        std::array<CDomainRecord*, kChunkCapacity> arrRecord;
    };
    // Where a key is or would go: the slot of the first entry not below it,
    // which may be one past the chunk's last entry.
    struct SPosition {
        std::size_t nChunk;
        std::size_t nSlot;
        bool bFound;
    };

    static SPrefix PrefixOf(std::string_view strText);
    static SKey MakeKey(std::string_view strText);
    static bool KeyBelow(const SKey& key, const SEntry& entry);

    std::size_t ChunkFor(const SKey& key) const;
    SPosition Locate(const SKey& key) const;
    // Where the record stands; bFound false when it is not indexed.
    SPosition PositionOf(const CDomainRecord& record) const;
    std::size_t LowerSlot(const SChunk& chunk, const SKey& key) const;
    CDomainRecord* RecordAt(std::size_t nChunk, std::size_t nSlot) const;
    void InsertAt(SPosition position, const SEntry& entry);
    void MakeRoom(SPosition& position);
    void AddChunk(std::size_t nAt, std::unique_ptr<SChunk> pChunk);

    // The records and their domain texts, and their value texts (used under
    // the records' text guard): both go at once with Clear.
    CSlabPool m_recordPool;
    CSlabPool m_textPool;
    const std::size_t m_nChunkCapacity;
    std::size_t m_nCount = 0;
    std::vector<std::unique_ptr<SChunk>> m_arrChunks;
    // The first entry of each chunk, for choosing a chunk.
    std::vector<SEntry> m_arrBounds;
    // Where the last walk stopped: the next walk from there, as the worker's
    // from row to row, starts without a search while the entry is still in
    // place.
    mutable const CDomainRecord* m_pWalkEnd = nullptr;
    mutable SPosition m_walkEnd{0, 0, false};
};
