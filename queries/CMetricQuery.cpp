#include "queries/CMetricQuery.h"

CMetricQuery::CMetricQuery(CServiceHosts hosts, const std::atomic<bool>* pCancel)
    : m_hosts(std::move(hosts)), m_pCancel(pCancel) {}

CMetricQuery::~CMetricQuery() = default;

// Not built yet: every operation answers with the failure value.
std::string CMetricQuery::QueryPageRank(std::string) {
    return {};
}
std::string CMetricQuery::QueryAlexaRank(std::string) {
    return {};
}
std::string CMetricQuery::QueryGoogleSite(std::string) {
    return {};
}
std::string CMetricQuery::QueryGoogleLink(std::string) {
    return {};
}
std::string CMetricQuery::QueryGoogleSearch1(std::string) {
    return {};
}
std::string CMetricQuery::QueryGoogleSearch2(std::string) {
    return {};
}
std::string CMetricQuery::QueryBaiduSite(std::string) {
    return {};
}
std::string CMetricQuery::QueryBaiduLink(std::string) {
    return {};
}
std::string CMetricQuery::QueryBaiduSearch1(std::string) {
    return {};
}
std::string CMetricQuery::QueryBaiduSearch2(std::string) {
    return {};
}
