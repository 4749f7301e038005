#include "core/CDomainRecord.h"

#include "core/CMetricTable.h"
#include "core/LeadingNumber.h"

#include <mutex>

namespace {

// One guard for the texts of every record: writes are rare (one per query)
// and reads short, so a single lock costs less memory than one per row.
std::mutex& TextGuard() {
    static std::mutex guard;
    return guard;
}

} // namespace

CDomainRecord::CDomainRecord(std::string strDomain) : m_strDomain(std::move(strDomain)) {}

CDomainRecord::~CDomainRecord() = default;

std::string CDomainRecord::GetMetric(std::size_t nMetric) const {
    std::lock_guard<std::mutex> lock(TextGuard());
    return std::string(m_texts.Get(nMetric));
}

void CDomainRecord::SetMetric(std::size_t nMetric, std::string strText) {
    if (nMetric == CMetricTable::PageRankMetric()) {
        SetPageRankText(std::move(strText));
        return;
    }
    std::lock_guard<std::mutex> lock(TextGuard());
    m_texts.Set(nMetric, strText);
}

std::size_t CDomainRecord::NoteSlot(std::size_t nMetric) {
    return CMetricTable::Count() + nMetric;
}

void CDomainRecord::BeginScan(std::uint32_t nNow) {
    std::lock_guard<std::mutex> lock(TextGuard());
    m_nScannedAt = nNow;
}

void CDomainRecord::SetResult(std::size_t nMetric, const SQueryResult& result, bool bWithRow,
                              std::uint32_t nNow) {
    SetMetric(nMetric, result.strValue);
    SCellState state;
    state.outcome = result.outcome;
    state.reason = result.reason;
    state.nHttpStatus = result.nHttpStatus;
    state.strDetail = result.strDetail;
    std::lock_guard<std::mutex> lock(TextGuard());
    state.nFetchedAt = bWithRow ? m_nScannedAt : nNow;
    m_texts.Set(NoteSlot(nMetric), CCellNote::Encode(state, m_nScannedAt));
}

SCellState CDomainRecord::GetCellState(std::size_t nMetric) const {
    std::lock_guard<std::mutex> lock(TextGuard());
    return CCellNote::Decode(m_texts.Get(NoteSlot(nMetric)), m_nScannedAt);
}

bool CDomainRecord::MarkFailedCells() {
    std::lock_guard<std::mutex> lock(TextGuard());
    bool bMarked = false;
    for (std::size_t nMetric = 0; nMetric < CMetricTable::Count(); ++nMetric) {
        SCellState state = CCellNote::Decode(m_texts.Get(NoteSlot(nMetric)), m_nScannedAt);
        if (state.outcome == EOutcome::Failed && !state.bPending) {
            state.bPending = true;
            m_texts.Set(NoteSlot(nMetric), CCellNote::Encode(state, m_nScannedAt));
            bMarked = true;
        }
    }
    if (bMarked) {
        m_bHasPending.store(true, std::memory_order_relaxed);
    }
    return bMarked;
}

void CDomainRecord::SettlePending() {
    std::lock_guard<std::mutex> lock(TextGuard());
    if (PendingCellsLocked().empty()) {
        m_bHasPending.store(false, std::memory_order_relaxed);
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
        const std::string_view strNote = m_texts.Get(NoteSlot(nMetric));
        if (!strNote.empty() && CCellNote::Decode(strNote, m_nScannedAt).bPending) {
            cells.push_back(nMetric);
        }
    }
    return cells;
}

void CDomainRecord::SetPageRankText(std::string strText) {
    const std::int16_t nPageRank = PageRankFromText(strText);
    std::lock_guard<std::mutex> lock(TextGuard());
    m_texts.Set(CMetricTable::PageRankMetric(), strText);
    m_nPageRank.store(nPageRank, std::memory_order_relaxed);
}

void CDomainRecord::ResetForRescan() {
    std::lock_guard<std::mutex> lock(TextGuard());
    m_texts.Set(CMetricTable::PageRankMetric(), {});
    m_nPageRank.store(-1, std::memory_order_relaxed);
}

bool CDomainRecord::IsScanned() const {
    std::lock_guard<std::mutex> lock(TextGuard());
    const bool bPREmpty = m_texts.Get(CMetricTable::PageRankMetric()).empty();
    return !(bPREmpty && m_nPageRank.load(std::memory_order_relaxed) < 0);
}

std::int16_t CDomainRecord::PageRankFromText(const std::string& strText) {
    // Keep the low 16 bits, as storing atoi's int in a 16-bit field does.
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(LeadingNumber(strText)));
}
