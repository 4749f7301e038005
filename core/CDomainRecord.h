#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// The ten metrics, in the order of the score list's columns.
enum class EMetric : int {
    PR,
    Alexa,
    GSite,
    GLink,
    GSearch1,
    GSearch2,
    BSite,
    BLink,
    BSearch1,
    BSearch2,
};
inline constexpr int kMetricCount = 10;

// One row of the score list: the domain and the value text of every metric.
//
// The worker writes the texts while the window, the export and the sort read
// them, so every text getter returns a copy taken under a guard shared by all
// records, and every setter writes under it. The domain never changes after
// construction and is read without the guard.
class CDomainRecord {
public:
    explicit CDomainRecord(std::string strDomain);
    virtual ~CDomainRecord();

    CDomainRecord(const CDomainRecord&) = delete;
    CDomainRecord& operator=(const CDomainRecord&) = delete;

    const std::string& GetDomain() const { return m_strDomain; }

    std::string GetPR() const { return GetMetric(EMetric::PR); }
    std::string GetAlexa() const { return GetMetric(EMetric::Alexa); }
    std::string GetGSite() const { return GetMetric(EMetric::GSite); }
    std::string GetGLink() const { return GetMetric(EMetric::GLink); }
    std::string GetGSearch1() const { return GetMetric(EMetric::GSearch1); }
    std::string GetGSearch2() const { return GetMetric(EMetric::GSearch2); }
    std::string GetBSite() const { return GetMetric(EMetric::BSite); }
    std::string GetBLink() const { return GetMetric(EMetric::BLink); }
    std::string GetBSearch1() const { return GetMetric(EMetric::BSearch1); }
    std::string GetBSearch2() const { return GetMetric(EMetric::BSearch2); }

    std::string GetMetric(EMetric metric) const;
    // Setting PR also sets the number read from the text.
    void SetMetric(EMetric metric, std::string strText);

    std::int16_t GetPageRank() const { return m_nPageRank.load(std::memory_order_relaxed); }

    // Stores the PageRank text and the number read from it, together.
    void SetPageRankText(std::string strText);
    // Sends the row back to waiting: empty PR text, number -1.
    void ResetForRescan();
    // Waiting rows have an empty PR text and a number below 0.
    bool IsScanned() const;

    // The leading decimal number of a PR text as atoi reads it, kept to 16
    // bits; 0 for the empty text.
    static std::int16_t PageRankFromText(const std::string& strText);

private:
    // The metric texts live apart from the record and only once a value was
    // stored, so a list of a million waiting rows stays small.
    struct SMetricTexts {
        std::string m_strAlexa;
        std::string m_strPR;
        std::string m_strBSite;
        std::string m_strBLink;
        std::string m_strBSearch1;
        std::string m_strBSearch2;
        std::string m_strGSite;
        std::string m_strGLink;
        std::string m_strGSearch1;
        std::string m_strGSearch2;

        std::string& Field(EMetric metric);
    };

    std::atomic<std::int16_t> m_nPageRank{-1};
    const std::string m_strDomain;
    std::unique_ptr<SMetricTexts> m_pTexts;
};
