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
struct SMetricTally;

// Whether a row waits for its scan or its PageRank has been asked.
enum class EScanState : std::uint8_t {
    Waiting, // added, or sent back by a rescan
    Scanned, // the PageRank query has returned, whatever it gave
};

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
    // Every metric's text, by the metric's index, under one taking of the
    // guard: for a whole line of an export.
    std::vector<std::string> GetMetrics() const;
    // Setting the PageRank metric also sets the number read from the text.
    void SetMetric(std::size_t nMetric, std::string strText);

    // The PageRank text's number, the row's sort key in that column: -1 while
    // the row waits.
    std::int16_t GetPageRank() const { return m_nPageRank.load(std::memory_order_relaxed); }

    EScanState GetScanState() const {
        return (m_nRowFlags.load(std::memory_order_relaxed) & kScannedFlag) != 0
                   ? EScanState::Scanned
                   : EScanState::Waiting;
    }
    bool IsScanned() const { return GetScanState() == EScanState::Scanned; }
    // A waiting row shows none of its cells but PageRank's, even when it
    // still holds the values of an earlier scan.
    bool ShowsCell(std::size_t nMetric) const;
    // Whether the worker has anything to ask for the row; lock-free, for
    // walks over every row.
    bool NeedsScan() const { return !IsScanned() || HasPendingCells(); }

    // A scan of the whole row begins at nNow (seconds since 1970): the time
    // its cells share. Cells it will not ask keep the time they were
    // fetched at.
    void BeginScan(std::uint32_t nNow);
    // Stores a query's value text, as SetMetric does, and what became of it;
    // gives the cell's state as stored. bWithRow: asked in the row's scan,
    // else on its own at nNow.
    SCellState SetResult(std::size_t nMetric, const SQueryResult& result, bool bWithRow,
                         std::uint32_t nNow);
    SCellState GetCellState(std::size_t nMetric) const;
    // Every cell's state as a tally counts it (see CCellNote::Counted), in
    // metric order, in one walk: for walks over every row, which pass the
    // same vector each time.
    void GetCountedStates(std::vector<SCellState>& arrStates) const;
    // Counts every cell the row shows into its metric's tally (one per
    // metric of the table), under one taking of the guard.
    void CountShownCells(std::vector<SMetricTally>& arrTallies) const;
    // Marks every failed cell to be asked again; false when none failed.
    bool MarkFailedCells();
    // The cells marked to be asked again, in metric order.
    std::vector<std::size_t> PendingCells() const;
    // Whether any cell may be marked: cheap enough to ask of every row on
    // every pass.
    bool HasPendingCells() const {
        return (m_nRowFlags.load(std::memory_order_relaxed) & kPendingFlag) != 0;
    }
    // Forgets the mark once no cell is marked any more.
    void SettlePending();

    // Stores the PageRank text and the number read from it, together; the
    // row is scanned.
    void SetPageRankText(std::string strText);
    // Sends the row back to waiting: empty PageRank text, number -1.
    void ResetForRescan();

    // The leading decimal number of a PageRank text as atoi reads it, kept to 16
    // bits; 0 for the empty text.
    static std::int16_t PageRankFromText(const std::string& strText);

private:
    // The value texts' slots come first, then one slot with every cell's
    // note (see CCellNote).
    static std::size_t NotesSlot();
    std::string_view NoteOf(std::size_t nMetric) const;
    std::vector<std::size_t> PendingCellsLocked() const;
    void StorePageRank(std::int16_t nPageRank);

    // The domain's length as a variable-length number, then its bytes: a
    // record of a million is small.
    const std::uint8_t* m_pDomain;
    CTextPack m_texts;
    std::atomic<std::int16_t> m_nPageRank{-1};
    // The scan state and whether any cell may be marked, in one byte so that
    // a record of a million stays small.
    static constexpr std::uint8_t kScannedFlag = 1;
    static constexpr std::uint8_t kPendingFlag = 2;
    std::atomic<std::uint8_t> m_nRowFlags{0};
    const bool m_bOwnsDomain;
    std::uint32_t m_nScannedAt = 0;
};
