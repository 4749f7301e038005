#include "core/CDomainRecord.h"

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

std::string& CDomainRecord::SMetricTexts::Field(EMetric metric) {
    switch (metric) {
    case EMetric::PR:
        return m_strPR;
    case EMetric::Alexa:
        return m_strAlexa;
    case EMetric::GSite:
        return m_strGSite;
    case EMetric::GLink:
        return m_strGLink;
    case EMetric::GSearch1:
        return m_strGSearch1;
    case EMetric::GSearch2:
        return m_strGSearch2;
    case EMetric::BSite:
        return m_strBSite;
    case EMetric::BLink:
        return m_strBLink;
    case EMetric::BSearch1:
        return m_strBSearch1;
    case EMetric::BSearch2:
        break;
    }
    return m_strBSearch2;
}

std::string CDomainRecord::GetMetric(EMetric metric) const {
    std::lock_guard<std::mutex> lock(TextGuard());
    return m_pTexts ? m_pTexts->Field(metric) : std::string();
}

void CDomainRecord::SetMetric(EMetric metric, std::string strText) {
    if (metric == EMetric::PR) {
        SetPageRankText(std::move(strText));
        return;
    }
    std::lock_guard<std::mutex> lock(TextGuard());
    if (!m_pTexts) {
        if (strText.empty()) {
            return;
        }
        m_pTexts = std::make_unique<SMetricTexts>();
    }
    m_pTexts->Field(metric) = std::move(strText);
}

void CDomainRecord::SetPageRankText(std::string strText) {
    const std::int16_t nPageRank = PageRankFromText(strText);
    std::lock_guard<std::mutex> lock(TextGuard());
    if (!m_pTexts && !strText.empty()) {
        m_pTexts = std::make_unique<SMetricTexts>();
    }
    if (m_pTexts) {
        m_pTexts->m_strPR = std::move(strText);
    }
    m_nPageRank.store(nPageRank, std::memory_order_relaxed);
}

void CDomainRecord::ResetForRescan() {
    std::lock_guard<std::mutex> lock(TextGuard());
    if (m_pTexts) {
        m_pTexts->m_strPR.clear();
    }
    m_nPageRank.store(-1, std::memory_order_relaxed);
}

bool CDomainRecord::IsScanned() const {
    std::lock_guard<std::mutex> lock(TextGuard());
    const bool bPREmpty = !m_pTexts || m_pTexts->m_strPR.empty();
    return !(bPREmpty && m_nPageRank.load(std::memory_order_relaxed) < 0);
}

std::int16_t CDomainRecord::PageRankFromText(const std::string& strText) {
    // Keep the low 16 bits, as storing atoi's int in a 16-bit field does.
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(LeadingNumber(strText)));
}
