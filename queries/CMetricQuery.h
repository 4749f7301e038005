#pragma once

#include "queries/CServiceHosts.h"
#include "queries/SQueryResult.h"
#include "queries/SQueryRule.h"
#include "queries/ToolbarChecksum.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// The per-row query object. Query() takes a metric's request and reply rule
// and the domain text, and returns the metric value exactly as the service's
// reply shows it (the empty text on any failure) with what became of the
// query. It never throws; it makes exactly one request and blocks until it is
// answered or has failed.
class CMetricQuery {
public:
    // pCancel is handed to every web client so that a transfer in flight can
    // be abandoned when the scan controller is destroyed.
    explicit CMetricQuery(CServiceHosts hosts = CServiceHosts::Real(),
                          const std::atomic<bool>* pCancel = nullptr);
    virtual ~CMetricQuery();

    // Starts the HTTP library; once per process, before any thread. Later
    // calls give the first call's outcome.
    static bool PrepareNetwork();

    CMetricQuery(const CMetricQuery&) = delete;
    CMetricQuery& operator=(const CMetricQuery&) = delete;

    SQueryResult Query(const SQueryRule& rule, const std::string& strDomain);

    // The limits of every transfer (tests shorten them): nothing for
    // nStallMs, fewer than nFloorBytes in any nFloorSpanMs, longer than
    // nCeilingMs in all, or a body over nMaxBodyBytes, and the transfer
    // fails.
    struct SLimits {
        long nStallMs;
        std::size_t nFloorBytes;
        long nFloorSpanMs;
        long nCeilingMs;
        std::size_t nMaxBodyBytes;
    };
    void SetLimits(const SLimits& limits) { m_limits = limits; }
    // How long a jq program may take over one reply (see CJqProgram).
    void SetJqDeadline(int nMs) { m_nJqDeadlineMs = nMs; }

    // The URL the request names for the domain, with strToken for {token}, before
    // any routing to a test host.
    std::string RequestUrl(const SQueryRule& rule, const std::string& strDomain,
                           const std::string& strToken);

private:
    // Asks the service and reads its reply into result.
    void Ask(const SQueryRule& rule, const std::string& strDomain, SQueryResult& result);
    // Fills the template's placeholders; an unknown one stays as written.
    std::string ExpandTemplate(const SQueryRule& rule, const std::string& strTemplate,
                               const std::string& strDomain, const std::string& strToken);
    // Re-allocates the checksum work buffers for the hashed text.
    std::uint32_t Checksum(const std::string& strText);

    CServiceHosts m_hosts;
    const std::atomic<bool>* m_pCancel;
    SLimits m_limits;
    int m_nJqDeadlineMs;
    // Work buffers of the toolbar checksum: null until the first request
    // that carries one, which releases and re-allocates them.
    std::unique_ptr<MixWords> m_pMixState;
    std::unique_ptr<std::int32_t[]> m_pValues;
};
