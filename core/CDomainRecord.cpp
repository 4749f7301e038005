#include "core/CDomainRecord.h"

#include "core/CMetricTable.h"
#include "core/CSlabPool.h"
#include "core/LeadingNumber.h"
#include "core/SPassSummary.h"

#include <algorithm>
#include <cstring>

#include <mutex>

namespace {

// One guard for the texts of every record: writes are rare (one per query)
// and reads short, so a single lock costs less memory than one per row.
std::mutex& TextGuard() {
    static std::mutex guard;
    return guard;
}

} // namespace

namespace {

// The text led by its length, seven bits a byte.
const std::uint8_t* CopyText(std::string_view strText, CSlabPool* pPool) {
    std::uint8_t szLength[10];
    std::size_t nLengthBytes = 0;
    for (std::size_t n = strText.size();; n >>= 7) {
        szLength[nLengthBytes++] = static_cast<std::uint8_t>((n & 0x7F) | (n >= 0x80 ? 0x80 : 0));
        if (n < 0x80) {
            break;
        }
    }
    const std::size_t nBytes = nLengthBytes + strText.size();
    auto* pCopy = reinterpret_cast<std::uint8_t*>(pPool != nullptr ? pPool->AllocateBytes(nBytes)
                                                                   : new char[nBytes]);
    std::memcpy(pCopy, szLength, nLengthBytes);
    if (!strText.empty()) {
        std::memcpy(pCopy + nLengthBytes, strText.data(), strText.size());
    }
    return pCopy;
}

} // namespace

CDomainRecord::CDomainRecord(std::string_view strDomain, CSlabPool* pRecordPool,
                             CSlabPool* pTextPool)
    : m_pDomain(CopyText(strDomain, pRecordPool)), m_texts(pTextPool),
      m_bOwnsDomain(pRecordPool == nullptr) {}

CDomainRecord::~CDomainRecord() {
    if (m_bOwnsDomain) {
        delete[] reinterpret_cast<const char*>(m_pDomain);
    }
}

std::string_view CDomainRecord::GetDomain() const {
    const std::uint8_t* pAt = m_pDomain;
    std::size_t nLength = 0;
    for (unsigned nShift = 0;; nShift += 7) {
        const std::uint8_t nByte = *pAt++;
        nLength |= static_cast<std::size_t>(nByte & 0x7F) << nShift;
        if ((nByte & 0x80) == 0) {
            break;
        }
    }
    return {reinterpret_cast<const char*>(pAt), nLength};
}

std::string CDomainRecord::GetMetric(std::size_t nMetric) const {
    std::lock_guard<std::mutex> lock(TextGuard());
    return std::string(m_texts.Get(nMetric));
}

std::vector<std::string> CDomainRecord::GetMetrics() const {
    std::lock_guard<std::mutex> lock(TextGuard());
    const std::vector<std::string_view> texts = m_texts.GetFirst(CMetricTable::Count());
    return {texts.begin(), texts.end()};
}

void CDomainRecord::SetMetric(std::size_t nMetric, std::string strText) {
    if (nMetric == CMetricTable::PageRankMetric()) {
        SetPageRankText(std::move(strText));
        return;
    }
    std::lock_guard<std::mutex> lock(TextGuard());
    m_texts.Set(nMetric, strText);
}

std::size_t CDomainRecord::NotesSlot() {
    return CMetricTable::Count();
}

std::string_view CDomainRecord::NoteOf(std::size_t nMetric) const {
    return CCellNote::NoteAt(m_texts.Get(NotesSlot()), nMetric);
}

bool CDomainRecord::ShowsCell(std::size_t nMetric) const {
    return nMetric == CMetricTable::PageRankMetric() || IsScanned();
}

void CDomainRecord::BeginScan(std::uint32_t nNow) {
    std::lock_guard<std::mutex> lock(TextGuard());
    if (nNow == m_nScannedAt) {
        return;
    }
    if (m_texts.IsEmpty()) { // a new row: no cell to keep its time
        m_nScannedAt = nNow;
        return;
    }
    // A cell that shares the row's time would take the new one: those the
    // scan asks get it anyway; the others keep their own.
    std::string strNotes(m_texts.Get(NotesSlot()));
    bool bChanged = false;
    for (std::size_t nMetric = 0; nMetric < CMetricTable::Count(); ++nMetric) {
        const SCellState state = CCellNote::Decode(NoteOf(nMetric), m_nScannedAt, GetDomain());
        if (state.outcome != EOutcome::NotAsked && state.nFetchedAt == m_nScannedAt) {
            strNotes =
                CCellNote::WithNote(strNotes, nMetric, CCellNote::Encode(state, nNow, GetDomain()));
            bChanged = true;
        }
    }
    if (bChanged) {
        m_texts.Set(NotesSlot(), strNotes);
    }
    m_nScannedAt = nNow;
}

SCellState CDomainRecord::SetResult(std::size_t nMetric, const SQueryResult& result, bool bWithRow,
                                    std::uint32_t nNow) {
    SCellState state = result.state;
    state.bPending = false;
    const bool bPageRank = nMetric == CMetricTable::PageRankMetric();
    const std::int16_t nPageRank = bPageRank ? PageRankFromText(result.strValue) : 0;
    std::lock_guard<std::mutex> lock(TextGuard());
    state.nFetchedAt = bWithRow ? m_nScannedAt : nNow;
    const std::string strNote = CCellNote::Encode(state, m_nScannedAt, GetDomain());
    const std::string strNotes = CCellNote::WithNote(m_texts.Get(NotesSlot()), nMetric, strNote);
    m_texts.Set({{nMetric, result.strValue}, {NotesSlot(), strNotes}});
    if (bPageRank) {
        StorePageRank(nPageRank);
    }
    return state;
}

SCellState CDomainRecord::GetCellState(std::size_t nMetric) const {
    std::lock_guard<std::mutex> lock(TextGuard());
    return CCellNote::Decode(NoteOf(nMetric), m_nScannedAt, GetDomain());
}

void CDomainRecord::GetCountedStates(std::vector<SCellState>& arrStates) const {
    arrStates.resize(CMetricTable::Count());
    std::lock_guard<std::mutex> lock(TextGuard());
    std::string_view strNotes = m_texts.Get(NotesSlot());
    for (SCellState& state : arrStates) {
        const std::string_view strNote = CCellNote::NoteAt(strNotes, 0);
        state = CCellNote::Counted(strNote, m_nScannedAt, GetDomain());
        strNotes.remove_prefix(strNote.size());
    }
}

void CDomainRecord::CountShownCells(std::vector<SMetricTally>& arrTallies) const {
    const bool bScanned = IsScanned();
    const std::size_t nPageRank = CMetricTable::PageRankMetric();
    const std::size_t nCount = std::min(arrTallies.size(), CMetricTable::Count());
    std::lock_guard<std::mutex> lock(TextGuard());
    // One walk along the notes: this runs for every row of the list.
    std::string_view strNotes = m_texts.Get(NotesSlot());
    for (std::size_t nMetric = 0; nMetric < nCount && !strNotes.empty(); ++nMetric) {
        const std::string_view strNote = CCellNote::NoteAt(strNotes, 0);
        strNotes.remove_prefix(strNote.size());
        if (bScanned || nMetric == nPageRank) {
            arrTallies[nMetric].Count(CCellNote::Counted(strNote, m_nScannedAt, GetDomain()));
        }
    }
}

bool CDomainRecord::MarkFailedCells() {
    std::lock_guard<std::mutex> lock(TextGuard());
    bool bMarked = false;
    for (std::size_t nMetric = 0; nMetric < CMetricTable::Count(); ++nMetric) {
        SCellState state = CCellNote::Decode(NoteOf(nMetric), m_nScannedAt, GetDomain());
        if (state.outcome == EOutcome::Failed && !state.bPending) {
            state.bPending = true;
            const std::string strNote = CCellNote::Encode(state, m_nScannedAt, GetDomain());
            m_texts.Set(NotesSlot(),
                        CCellNote::WithNote(m_texts.Get(NotesSlot()), nMetric, strNote));
            bMarked = true;
        }
    }
    if (bMarked) {
        m_nRowFlags.fetch_or(kPendingFlag, std::memory_order_relaxed);
    }
    return bMarked;
}

void CDomainRecord::SettlePending() {
    std::lock_guard<std::mutex> lock(TextGuard());
    if (PendingCellsLocked().empty()) {
        m_nRowFlags.fetch_and(static_cast<std::uint8_t>(~kPendingFlag), std::memory_order_relaxed);
    }
}

std::vector<std::size_t> CDomainRecord::PendingCells() const {
    std::lock_guard<std::mutex> lock(TextGuard());
    return PendingCellsLocked();
}

std::vector<std::size_t> CDomainRecord::PendingCellsLocked() const {
    std::vector<std::size_t> cells;
    if (m_texts.IsEmpty()) {
        return cells;
    }
    for (std::size_t nMetric = 0; nMetric < CMetricTable::Count(); ++nMetric) {
        const std::string_view strNote = NoteOf(nMetric);
        if (!strNote.empty() && CCellNote::Decode(strNote, m_nScannedAt, GetDomain()).bPending) {
            cells.push_back(nMetric);
        }
    }
    return cells;
}

void CDomainRecord::SetPageRankText(std::string strText) {
    const std::int16_t nPageRank = PageRankFromText(strText);
    std::lock_guard<std::mutex> lock(TextGuard());
    m_texts.Set(CMetricTable::PageRankMetric(), strText);
    StorePageRank(nPageRank);
}

void CDomainRecord::StorePageRank(std::int16_t nPageRank) {
    m_nPageRank.store(nPageRank, std::memory_order_relaxed);
    m_nRowFlags.fetch_or(kScannedFlag, std::memory_order_relaxed);
}

void CDomainRecord::ResetForRescan() {
    std::lock_guard<std::mutex> lock(TextGuard());
    m_texts.Set(CMetricTable::PageRankMetric(), {});
    m_nPageRank.store(-1, std::memory_order_relaxed);
    m_nRowFlags.fetch_and(static_cast<std::uint8_t>(~kScannedFlag), std::memory_order_relaxed);
}

std::int16_t CDomainRecord::PageRankFromText(const std::string& strText) {
    // Keep the low 16 bits, as storing atoi's int in a 16-bit field does.
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(LeadingNumber(strText)));
}
