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
