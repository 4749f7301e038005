#pragma once

#include "core/CCellNote.h"
#include "core/CTextPack.h"
#include "queries/SQueryResult.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CSlabPool;

// One row of the score list: the domain and the value text of every metric,
// by the metric's index in the metric table.
//
// The worker writes the texts while the window, the export and the sort read
// them, so every text getter returns a copy taken under a guard shared by all
// records, and every setter writes under it. The domain never changes after
// construction and is read without the guard.
//
// A record of a store keeps its domain text in the store's record pool and
// its value texts in the store's text pool (guarded by the text guard), and
// goes with them; a record of its own keeps both on the heap.
class CDomainRecord {
public:
    explicit CDomainRecord(std::string_view strDomain, CSlabPool* pRecordPool = nullptr,
                           CSlabPool* pTextPool = nullptr);
    ~CDomainRecord();

    CDomainRecord(const CDomainRecord&) = delete;
    CDomainRecord& operator=(const CDomainRecord&) = delete;

    std::string_view GetDomain() const;

    std::string GetMetric(std::size_t nMetric) const;
    // Setting the PageRank metric also sets the number read from the text.
    void SetMetric(std::size_t nMetric, std::string strText);

    std::int16_t GetPageRank() const { return m_nPageRank.load(std::memory_order_relaxed); }

    // A scan of the whole row begins at nNow (seconds since 1970): the time
    // its cells share.
    void BeginScan(std::uint32_t nNow);
    // Stores a query's value text, as SetMetric does, and what became of it.
    // bWithRow: asked in the row's scan, else on its own at nNow.
    void SetResult(std::size_t nMetric, const SQueryResult& result, bool bWithRow,
                   std::uint32_t nNow);
    SCellState GetCellState(std::size_t nMetric) const;
    // Marks every failed cell to be asked again; false when none failed.
    bool MarkFailedCells();
    // The cells marked to be asked again, in metric order.
    std::vector<std::size_t> PendingCells() const;
    // Whether any cell may be marked: cheap enough to ask of every row on
    // every pass.
    bool HasPendingCells() const { return m_bHasPending.load(std::memory_order_relaxed); }
    // Forgets the mark once no cell is marked any more.
    void SettlePending();

    // Stores the PageRank text and the number read from it, together.
    void SetPageRankText(std::string strText);
    // Sends the row back to waiting: empty PageRank text, number -1.
    void ResetForRescan();
    // Waiting rows have an empty PageRank text and a number below 0.
    bool IsScanned() const;

    // The leading decimal number of a PageRank text as atoi reads it, kept to 16
    // bits; 0 for the empty text.
    static std::int16_t PageRankFromText(const std::string& strText);

private:
    // The value texts' slots come first, then one slot with every cell's
    // note (see CCellNote).
    static std::size_t NotesSlot();
    std::string_view NoteOf(std::size_t nMetric) const;
    std::vector<std::size_t> PendingCellsLocked() const;

    // The domain's length as a variable-length number, then its bytes: a
    // record of a million is small.
    const std::uint8_t* m_pDomain;
    CTextPack m_texts;
    std::atomic<std::int16_t> m_nPageRank{-1};
    std::atomic<bool> m_bHasPending{false};
    const bool m_bOwnsDomain;
    std::uint32_t m_nScannedAt = 0;
};
