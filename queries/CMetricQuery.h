#pragma once

#include "queries/CServiceHosts.h"

#include <atomic>
#include <cstdint>
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
    CServiceHosts m_hosts;
    const std::atomic<bool>* m_pCancel;
};
