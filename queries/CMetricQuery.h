#pragma once

#include "queries/CServiceHosts.h"
#include "queries/ToolbarChecksum.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The per-row query object. Each operation takes the domain text and returns
// the metric value exactly as the service's reply shows it, or the empty text
// on any failure. None throws; each makes exactly one request and blocks
// until it is answered or has failed.
class CMetricQuery {
public:
    // pCancel is handed to every web client so that a transfer in flight can
    // be abandoned when the scan controller is destroyed.
    explicit CMetricQuery(CServiceHosts hosts = CServiceHosts::Real(),
                          const std::atomic<bool>* pCancel = nullptr);
    virtual ~CMetricQuery();

    CMetricQuery(const CMetricQuery&) = delete;
    CMetricQuery& operator=(const CMetricQuery&) = delete;

    std::string QueryPageRank(std::string strDomain);
    std::string QueryAlexaRank(std::string strDomain);
    std::string QueryGoogleSite(std::string strDomain);
    std::string QueryGoogleLink(std::string strDomain);
    std::string QueryGoogleSearch1(std::string strDomain);
    std::string QueryGoogleSearch2(std::string strDomain);
    std::string QueryBaiduSite(std::string strDomain);
    std::string QueryBaiduLink(std::string strDomain);
    std::string QueryBaiduSearch1(std::string strDomain);
    std::string QueryBaiduSearch2(std::string strDomain);

private:
    // What every query but PageRank sends: "http://", its service's host, the
    // path up to the domain, the domain as given, the rest, and a fresh
    // "&timestamp=" token when bTimestamp is set.
    struct SRequest {
        std::string CServiceHosts::*pHost;
        const char* pszBeforeDomain;
        const char* pszAfterDomain;
        bool bTimestamp;
    };
    // Reads the metric value out of a non-empty reply text: the value, or ""
    // when the reply does not hold it. May throw.
    using ReplyParser = std::string (*)(const std::string& strReply);

    static const SRequest kAlexaRank, kGoogleSite, kGoogleLink, kGoogleSearch1, kGoogleSearch2,
        kBaiduSite, kBaiduLink, kBaiduSearch1, kBaiduSearch2;

    // The one path of every query: build the URL, GET it with the cancel flag,
    // hand a non-empty reply to the parser. Any failure or exception gives "".
    std::string Run(const std::function<std::string()>& makeUrl, ReplyParser parse) const;
    std::string Run(const SRequest& request, const std::string& strDomain, ReplyParser parse) const;
    // The reply as text (up to its first NUL byte), "" when the fetch failed.
    std::string FetchText(const std::string& strUrl) const;
    std::string RequestUrl(const SRequest& request, const std::string& strDomain) const;
    // Re-allocates the checksum work buffers for the hashed text.
    std::string PageRankUrl(const std::string& strDomain);

    CServiceHosts m_hosts;
    const std::atomic<bool>* m_pCancel;
    // Work buffers of the toolbar checksum: null until the first PageRank
    // query, which releases and re-allocates them.
    std::unique_ptr<MixWords> m_pMixState;
    std::unique_ptr<std::int32_t[]> m_pValues;
};
