#include "queries/CMetricQuery.h"

#include "net/CWebClient.h"
#include "net/ShownAddress.h"
#include "queries/CJqProgram.h"
#include "queries/RegistrableDomain.h"
#include "queries/TextHelpers.h"
#include "queries/TransferReason.h"
#include "regex/regex.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <span>
#include <string_view>

namespace {

// Every reply pattern is compiled case-insensitive, global, with "." taking
// line breaks, and keeps the groups of every match in order.
constexpr std::uint32_t kReplyFlags =
    regex::ignore_case | regex::global | regex::single_line | regex::all_backrefs;

std::string ParseToolbarReply(const std::string& strReply) {
    if (!strReply.starts_with("Rank")) {
        return {};
    }
    const std::size_t nColon = strReply.rfind(':');
    const std::size_t nStart = nColon == std::string::npos ? 0 : nColon + 1;
    return ReplaceAll(std::string_view(strReply).substr(nStart), "\n", "");
}

// Compiled once per thread and pattern: a compiled pattern serves one thread
// at a time.
const regex::compiled_pattern& PatternFor(const std::string& strPattern) {
    thread_local std::map<std::string, std::unique_ptr<regex::compiled_pattern>, std::less<>>
        compiled;
    auto it = compiled.find(strPattern);
    if (it == compiled.end()) {
        auto pPattern = std::make_unique<regex::compiled_pattern>(strPattern, kReplyFlags,
                                                                  regex::mode_recursive);
        it = compiled.emplace(strPattern, std::move(pPattern)).first;
    }
    return *it->second;
}

// A reply pattern the engine gave up on: its step budget ran out, or the
// query was cancelled.
struct SPatternGaveUp {
    bool bCancelled;
};

// The step budget of a reply pattern that keeps the backtracking search (one
// with back-references or look-around): a second or two of matching. The
// built-in patterns take the linear-time search, which no budget cuts short.
constexpr std::uint64_t kPatternStepBudget = 100'000'000;

// run_match within the budget, ended by pCancel; throws SPatternGaveUp.
bool RunPattern(const regex::compiled_pattern& pattern, regex::match_backrefs& results,
                std::string_view strText, const std::atomic<bool>* pCancel) {
    regex::match_limits limits;
    limits.step_budget = kPatternStepBudget;
    limits.cancel = pCancel;
    switch (regex::run_match(pattern, results, strText.data(), strText.data() + strText.size(),
                             limits)) {
    case regex::match_status::found:
        return true;
    case regex::match_status::not_found:
        return false;
    case regex::match_status::too_long:
        throw SPatternGaveUp{false};
    case regex::match_status::cancelled:
        break;
    }
    throw SPatternGaveUp{true};
}

// Digits and thousands commas, at least one digit.
bool IsCountText(std::string_view strText) {
    return strText.find_first_not_of("0123456789,") == std::string_view::npos &&
           strText.find_first_of("0123456789") != std::string_view::npos;
}

std::string ReadValue(const regex::match_backrefs& results, std::size_t nEntriesPerMatch,
                      const SQueryRule& rule) {
    if (rule.chElementEnd != '\0' &&
        results.group(0).view().find(rule.chElementEnd) != std::string_view::npos) {
        return {};
    }
    for (std::size_t i = 1; i < nEntriesPerMatch; ++i) {
        if (results.group(i).length() > 0) {
            return results.group(i).text();
        }
    }
    if (rule.bLaterMatches) {
        for (std::size_t i = nEntriesPerMatch; i < results.group_count(); ++i) {
            if (IsCountText(results.group(i).view())) {
                return results.group(i).text();
            }
        }
    }
    return {};
}

bool Matches(const std::string& strPattern, std::string_view strText,
             const std::atomic<bool>* pCancel) {
    if (strPattern.empty()) {
        return false;
    }
    regex::match_backrefs results;
    return RunPattern(PatternFor(strPattern), results, strText, pCancel);
}

// The host of an absolute address, without port; empty for a relative one.
std::string_view HostOf(std::string_view strUrl) {
    const std::size_t nScheme = strUrl.find("://");
    if (nScheme == std::string_view::npos) {
        return {};
    }
    const std::string_view strRest = strUrl.substr(nScheme + 3);
    return strRest.substr(0, strRest.find_first_of(":/?#"));
}

// The path of an address, absolute or relative.
std::string_view PathOf(std::string_view strUrl) {
    const std::size_t nScheme = strUrl.find("://");
    if (nScheme != std::string_view::npos) {
        strUrl = strUrl.substr(nScheme + 3);
        const std::size_t nPath = strUrl.find_first_of("/?#");
        strUrl = nPath == std::string_view::npos ? std::string_view() : strUrl.substr(nPath);
    }
    return strUrl;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Whether an address the transfer went to is one of the service's block
// pages: on a block host, or on an asked host under a block path.
bool IsBlockAddress(const SQueryRule& rule, std::string_view strUrl,
                    const std::vector<std::string_view>& askedHosts) {
    const std::string_view strHost = HostOf(strUrl);
    for (const std::string& strBlockHost : rule.arrBlockHosts) {
        if (EqualsIgnoringCase(strHost, strBlockHost)) {
            return true;
        }
    }
    const bool bAskedHost =
        strHost.empty() ||
        std::any_of(askedHosts.begin(), askedHosts.end(),
                    [&](std::string_view h) { return EqualsIgnoringCase(h, strHost); });
    const std::string_view strPath = PathOf(strUrl);
    return bAskedHost && std::any_of(rule.arrBlockPaths.begin(), rule.arrBlockPaths.end(),
                                     [&](const std::string& p) { return strPath.starts_with(p); });
}

// The address a block showed itself at, or empty when none did.
std::string BlockAddress(const SQueryRule& rule, const CWebClient& client,
                         const std::vector<std::string_view>& askedHosts) {
    for (const std::string& strTarget : client.GetRedirects()) {
        if (IsBlockAddress(rule, strTarget, askedHosts)) {
            return strTarget;
        }
    }
    return IsBlockAddress(rule, client.GetFinalUrl(), askedHosts) ? client.GetFinalUrl()
                                                                  : std::string();
}

void Fail(SQueryResult& result, EFailReason reason, std::string strDetail) {
    result.strValue.clear();
    result.state.outcome = EOutcome::Failed;
    result.state.reason = reason;
    result.state.strDetail = std::move(strDetail);
}

// A failure whose detail is the address the reply came from, shown without
// its keys.
void FailAt(SQueryResult& result, EFailReason reason, std::string_view strAddress) {
    Fail(result, reason, ShownAddress(strAddress));
}

// The detail with no key in it: the request's address, should a message
// repeat it, shown without its keys, and no value of a variable the request
// read (a key in a path, say) anywhere.
std::string WithoutKeys(std::string strDetail, const std::string& strUrl,
                        const std::vector<std::string>& secrets) {
    if (!strUrl.empty()) {
        strDetail = ReplaceAll(strDetail, strUrl, ShownAddress(strUrl));
    }
    for (const std::string& strSecret : secrets) {
        if (!strSecret.empty()) {
            strDetail = ReplaceAll(strDetail, strSecret, "...");
        }
    }
    return strDetail;
}

// What reading a reply gave besides its value: whether a jq program had no
// value for it, or why it failed.
struct SReading {
    std::string strValue;
    bool bNoValue = false;
    std::string strProblem;
    bool bCancelled = false;
};

bool IsNoneStatus(const SQueryRule& rule, long nStatus) {
    return std::find(rule.arrNoneStatuses.begin(), rule.arrNoneStatuses.end(), nStatus) !=
           rule.arrNoneStatuses.end();
}

// What an answer without a value means.
void ClassifyEmptyReply(const SQueryRule& rule, const std::string& strReply,
                        const SReading& reading, const std::string& strBlockAddress,
                        const CWebClient& client, const std::atomic<bool>* pCancel,
                        SQueryResult& result) {
    const long nStatus = client.GetStatus();
    if (nStatus == 429) {
        FailAt(result, EFailReason::Blocked, client.GetFinalUrl());
    } else if (!strBlockAddress.empty()) {
        FailAt(result, EFailReason::Blocked, strBlockAddress);
    } else if (Matches(rule.strBlockPattern, strReply, pCancel)) {
        FailAt(result, EFailReason::Blocked, client.GetFinalUrl());
    } else if (IsNoneStatus(rule, nStatus)) {
        result.state.outcome = EOutcome::None;
    } else if (nStatus >= 400) {
        FailAt(result, EFailReason::HttpStatus, client.GetFinalUrl());
    } else if ((rule.bNoneWhenEmpty &&
                ((strReply.empty() && nStatus == 200) || reading.bNoValue)) ||
               Matches(rule.strNonePattern, strReply, pCancel)) {
        result.state.outcome = EOutcome::None;
    } else if (!reading.strProblem.empty()) {
        Fail(result, EFailReason::NoMatch, reading.strProblem);
    } else {
        FailAt(result, EFailReason::NoMatch, client.GetFinalUrl());
    }
}

std::string ParsePatternReply(const SQueryRule& rule, const std::string& strReply,
                              const std::atomic<bool>* pCancel) {
    const regex::compiled_pattern& pattern = PatternFor(rule.strPattern);
    regex::match_backrefs results;
    if (!RunPattern(pattern, results, strReply, pCancel)) {
        return {};
    }
    return ReadValue(results, pattern.group_count(), rule);
}

SReading ReadJqReply(const CJqProgram& program, const std::string& strReply, int nDeadlineMs,
                     const std::atomic<bool>* pCancel) {
    const CJqProgram::SOutput output = program.Run(strReply, nDeadlineMs, pCancel);
    SReading reading;
    switch (output.kind) {
    case CJqProgram::SOutput::EKind::Value:
        reading.strValue = output.strText;
        break;
    case CJqProgram::SOutput::EKind::Nothing:
        reading.bNoValue = true;
        break;
    case CJqProgram::SOutput::EKind::Failed:
        reading.strProblem = "jq: " + output.strText;
        break;
    case CJqProgram::SOutput::EKind::Cancelled:
        reading.bCancelled = true;
        break;
    }
    return reading;
}

// Reads the value out of a non-empty reply. May throw, also SPatternGaveUp
// when a pattern runs out of its step budget or pCancel turns true during the
// match.
SReading ReadReply(const SQueryRule& rule, const std::string& strReply, int nJqDeadlineMs,
                   const std::atomic<bool>* pCancel) {
    SReading reading;
    switch (rule.parser) {
    case EReplyParser::Toolbar:
        reading.strValue = ParseToolbarReply(strReply);
        break;
    case EReplyParser::Jq:
        if (rule.pJq != nullptr) {
            reading = ReadJqReply(*rule.pJq, strReply, nJqDeadlineMs, pCancel);
        }
        break;
    case EReplyParser::Pattern:
        reading.strValue = ParsePatternReply(rule, strReply, pCancel);
        break;
    }
    return reading;
}

// The name {site} asks for: the registrable domain, or the domain as given
// when it has none.
std::string SiteOf(const std::string& strDomain) {
    std::string strSite = RegistrableDomain(strDomain);
    return strSite.empty() ? strDomain : strSite;
}

// An answer about another name than the row's says which name was asked.
void NoteAskedName(const SQueryRule& rule, const std::string& strDomain, SQueryResult& result) {
    if (rule.strUrl.find("{site}") == std::string::npos) {
        return;
    }
    const std::string strSite = SiteOf(strDomain);
    if (strSite != strDomain) {
        result.state.strDetail = "asked " + strSite;
    }
}

// Reads the reply of the fetch, or its failure, into result.
void ReadAnswer(const SQueryRule& rule, const char* pszBody, const CWebClient& client,
                const std::vector<std::string_view>& askedHosts, int nJqDeadlineMs,
                const std::atomic<bool>* pCancel, SQueryResult& result) {
    const std::string strBlockAddress = BlockAddress(rule, client, askedHosts);
    if (pszBody == nullptr) {
        if (!strBlockAddress.empty()) {
            FailAt(result, EFailReason::Blocked, strBlockAddress);
        } else {
            Fail(result, ReasonOf(client.GetFailure()), client.GetErrorText());
        }
        return;
    }
    // Replies are text: a NUL byte inside ends them.
    const std::string_view body(pszBody, static_cast<std::size_t>(client.GetBodyLength()));
    const std::string strReply(body.substr(0, body.find('\0')));
    try {
        const SReading reading = IsNoneStatus(rule, client.GetStatus()) || strReply.empty()
                                     ? SReading()
                                     : ReadReply(rule, strReply, nJqDeadlineMs, pCancel);
        if (reading.bCancelled) {
            Fail(result, EFailReason::Cancelled, "cancelled while the jq program ran");
            return;
        }
        result.strValue = reading.strValue;
        if (!result.strValue.empty()) {
            result.state.outcome = EOutcome::Value;
            return;
        }
        ClassifyEmptyReply(rule, strReply, reading, strBlockAddress, client, pCancel, result);
    } catch (const SPatternGaveUp& gaveUp) {
        if (gaveUp.bCancelled) {
            Fail(result, EFailReason::Cancelled, {});
        } else {
            Fail(result, EFailReason::NoMatch, "the pattern needs too long on this reply");
        }
    }
}

} // namespace

CMetricQuery::CMetricQuery(CServiceHosts hosts, const std::atomic<bool>* pCancel)
    : m_hosts(std::move(hosts)), m_pCancel(pCancel),
      m_nJqDeadlineMs(CJqProgram::kDefaultDeadlineMs) {}

CMetricQuery::~CMetricQuery() = default;

bool CMetricQuery::PrepareNetwork() {
    return CWebClient::GlobalInit();
}

SQueryResult CMetricQuery::Query(const SQueryRule& rule, const std::string& strDomain) {
    SQueryResult result;
    try {
        Ask(rule, strDomain, result);
    } catch (...) {
        // The value stays the empty text; the page could not be read.
        Fail(result, EFailReason::NoMatch, "the reply could not be read");
    }
    return result;
}

void CMetricQuery::Ask(const SQueryRule& rule, const std::string& strDomain, SQueryResult& result) {
    const std::string strToken = MakeTimestampToken();
    std::vector<std::string> secrets;
    const std::string strUrl = ExpandTemplate(rule, rule.strUrl, strDomain, strToken, &secrets);
    const std::string strRouted = m_hosts.Route(strUrl);
    CWebClient client(m_pCancel);
    client.SetLimits(m_limits);
    std::vector<std::string> arrHeaders;
    for (const std::string& strHeader : rule.arrHeaders) {
        arrHeaders.push_back(ExpandTemplate(rule, strHeader, strDomain, strToken, &secrets));
    }
    client.SetHeaders(std::move(arrHeaders));
    const std::vector<std::string_view> askedHosts = {HostOf(strUrl), HostOf(strRouted)};
    // A block page is not worth asking for: its address says enough.
    client.SetRedirectGuard(
        [&](std::string_view strTarget) { return IsBlockAddress(rule, strTarget, askedHosts); });

    const char* pszBody = client.Fetch(strRouted.c_str());
    result.state.nHttpStatus = static_cast<int>(client.GetStatus());
    result.nRetryAfter = static_cast<int>(client.GetRetryAfter());
    ReadAnswer(rule, pszBody, client, askedHosts, m_nJqDeadlineMs, m_pCancel, result);
    if (result.state.outcome != EOutcome::Failed) {
        NoteAskedName(rule, strDomain, result);
    }
    result.state.strDetail = WithoutKeys(std::move(result.state.strDetail),
                                         CWebClient::EnsureHttpScheme(strRouted), secrets);
}

std::string CMetricQuery::ParseReply(const SQueryRule& rule, const std::string& strReply,
                                     const std::atomic<bool>* pCancel) {
    const SReading reading = ReadReply(rule, strReply, CJqProgram::kDefaultDeadlineMs, pCancel);
    if (reading.bCancelled) {
        throw SPatternGaveUp{true};
    }
    return reading.strValue;
}

bool CMetricQuery::PatternIsLinear(const SQueryRule& rule) {
    try {
        return PatternFor(rule.strPattern).linear_time();
    } catch (const std::exception&) {
        return false;
    }
}

std::string CMetricQuery::RequestUrl(const SQueryRule& rule, const std::string& strDomain,
                                     const std::string& strToken) {
    return ExpandTemplate(rule, rule.strUrl, strDomain, strToken);
}

std::vector<std::string> CMetricQuery::ReadVariables(const SQueryRule& rule) {
    std::vector<std::string> names;
    const auto take = [&](std::string_view strTemplate) {
        for (std::size_t nOpen = strTemplate.find("{env:"); nOpen != std::string_view::npos;
             nOpen = strTemplate.find("{env:", nOpen + 1)) {
            const std::size_t nClose = strTemplate.find('}', nOpen);
            if (nClose == std::string_view::npos) {
                break;
            }
            std::string strName(strTemplate.substr(nOpen + 5, nClose - nOpen - 5));
            if (std::find(names.begin(), names.end(), strName) == names.end()) {
                names.push_back(std::move(strName));
            }
        }
    };
    take(rule.strUrl);
    take(rule.strChecksumText);
    for (const std::string& strHeader : rule.arrHeaders) {
        take(strHeader);
    }
    return names;
}

std::string CMetricQuery::ExpandTemplate(const SQueryRule& rule, const std::string& strTemplate,
                                         const std::string& strDomain, const std::string& strToken,
                                         std::vector<std::string>* pSecrets) {
    std::string strOut;
    std::size_t nAt = 0;
    while (nAt < strTemplate.size()) {
        const std::size_t nOpen = strTemplate.find('{', nAt);
        const std::size_t nClose =
            nOpen == std::string::npos ? std::string::npos : strTemplate.find('}', nOpen);
        if (nClose == std::string::npos) {
            strOut.append(strTemplate, nAt);
            break;
        }
        strOut.append(strTemplate, nAt, nOpen - nAt);
        const std::string_view strName(strTemplate.data() + nOpen + 1, nClose - nOpen - 1);
        if (strName == "domain") {
            strOut += strDomain;
        } else if (strName == "site") {
            strOut += SiteOf(strDomain);
        } else if (strName == "domain_url") {
            strOut += UrlEncode(strDomain);
        } else if (strName == "token") {
            strOut += strToken;
        } else if (strName.starts_with("env:")) {
            // Keys stay out of the definition files.
            const std::string strVariable(strName.substr(4));
            const char* pszValue =
                IsReadableVariable(strVariable) ? std::getenv(strVariable.c_str()) : nullptr;
            strOut += pszValue != nullptr ? pszValue : "";
            if (pszValue != nullptr && pSecrets != nullptr) {
                pSecrets->emplace_back(pszValue);
            }
        } else if (strName == "checksum" && &strTemplate != &rule.strChecksumText) {
            strOut += std::to_string(Checksum(
                ExpandTemplate(rule, rule.strChecksumText, strDomain, strToken, pSecrets)));
        } else {
            strOut.append(strTemplate, nOpen, nClose - nOpen + 1);
        }
        nAt = nClose + 1;
    }
    return strOut;
}

std::uint32_t CMetricQuery::Checksum(const std::string& strText) {
    // The previous request's buffers go before the new ones are made.
    m_pMixState.reset();
    m_pValues.reset();
    m_pMixState = std::make_unique<MixWords>();
    m_pValues = std::make_unique<std::int32_t[]>(strText.size());
    const std::span<std::int32_t> values(m_pValues.get(), strText.size());
    ToSignedValues(strText, values);
    return ToolbarChecksum(values, *m_pMixState);
}
