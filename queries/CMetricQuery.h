#pragma once

#include "net/STransferLimits.h"
#include "queries/CServiceHosts.h"
#include "queries/SQueryResult.h"
#include "queries/SQueryRule.h"
#include "queries/ToolbarChecksum.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

    // The limits of every transfer (tests shorten them).
    void SetLimits(const STransferLimits& limits) { m_limits = limits; }

    // Only environment variables named with this prefix are read by
    // {env:NAME}: a copied source file must not send any other secret away.
    static constexpr std::string_view kVariablePrefix = "TALLYVINE_";
    static bool IsReadableVariable(std::string_view strName) {
        return strName.starts_with(kVariablePrefix);
    }
    // The names of the environment variables the rule reads, each once, in
    // the order they are written.
    static std::vector<std::string> ReadVariables(const SQueryRule& rule);

    // The URL the request names for the domain, with strToken for {token}, before
    // any routing to a test host.
    std::string RequestUrl(const SQueryRule& rule, const std::string& strDomain,
                           const std::string& strToken);
    // Reads the value out of a non-empty reply text: the value, or "" when
    // the reply does not hold it. May throw, also when a pattern runs out of
    // its step budget or pCancel turns true during the match.
    static std::string ParseReply(const SQueryRule& rule, const std::string& strReply,
                                  const std::atomic<bool>* pCancel = nullptr);
    // True when the rule's reply pattern is searched in time linear in the
    // reply; false when it keeps the backtracking search under a step budget
    // (or does not compile). Only for rules that read a pattern.
    static bool PatternIsLinear(const SQueryRule& rule);

private:
    // Asks the service and reads its reply into result.
    void Ask(const SQueryRule& rule, const std::string& strDomain, SQueryResult& result);
    // Fills the template's placeholders; an unknown one stays as written.
    // The value of every variable read is added to pSecrets when given.
    std::string ExpandTemplate(const SQueryRule& rule, const std::string& strTemplate,
                               const std::string& strDomain, const std::string& strToken,
                               std::vector<std::string>* pSecrets = nullptr);
    // Re-allocates the checksum work buffers for the hashed text.
    std::uint32_t Checksum(const std::string& strText);

    CServiceHosts m_hosts;
    const std::atomic<bool>* m_pCancel;
    STransferLimits m_limits;
    // Work buffers of the toolbar checksum: null until the first request
    // that carries one, which releases and re-allocates them.
    std::unique_ptr<MixWords> m_pMixState;
    std::unique_ptr<std::int32_t[]> m_pValues;
};
