#pragma once

#include "core/CTextPack.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// One row of the score list: the domain and the value text of every metric,
// by the metric's index in the metric table.
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

    std::string GetMetric(std::size_t nMetric) const;
    // Setting the PageRank metric also sets the number read from the text.
    void SetMetric(std::size_t nMetric, std::string strText);

    std::int16_t GetPageRank() const { return m_nPageRank.load(std::memory_order_relaxed); }

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
    std::atomic<std::int16_t> m_nPageRank{-1};
    const std::string m_strDomain;
    CTextPack m_texts;
};
