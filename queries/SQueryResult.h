#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What became of one metric of one row.
enum class EOutcome : std::uint8_t {
    NotAsked, // not ticked when the row was scanned, or not scanned yet
    Value,    // the reply held a value
    None,     // the service answered that it has nothing for the domain
    Failed,   // see the reason
};

// Why a query failed, from where it happened: the transfer, the status, the
// final address, or the parser.
enum class EFailReason : std::uint8_t {
    None,
    Dns,        // host name not resolved
    Connect,    // refused, unreachable, connect time-out, connection broken
    Timeout,    // nothing arrived for 30 s
    TooSlow,    // below the speed floor, or past the ceiling of the transfer
    TooLarge,   // a body over the cap
    Redirects,  // a redirect loop or too many redirects
    HttpStatus, // a status of 400 or more (other than 429)
    Blocked,    // HTTP 429, or a block, captcha or consent page
    NoMatch,    // a reply came, but not the page expected
    Cancelled,  // Stop, closing, or a signal
    // A list source's list cannot be had here: not cached while offline, or
    // a cache folder that cannot be written.
    Unavailable,
};

// The names used in files and on the command line.
std::string_view OutcomeName(EOutcome outcome);
std::string_view ReasonName(EFailReason reason);
// A short English phrase for messages ("blocked by the service").
std::string_view ReasonPhrase(EFailReason reason);

// One query's answer: the value text exactly as the reply shows it (empty
// unless the outcome is Value), the outcome, and for a failure its reason.
// The status is that of the final reply, 0 when none came; the detail is
// libcurl's message or the address the reply came from.
struct SQueryResult {
    std::string strValue;
    EOutcome outcome = EOutcome::NotAsked;
    EFailReason reason = EFailReason::None;
    int nHttpStatus = 0;
    std::string strDetail;
    // How long the service asked to be left alone (Retry-After), in seconds;
    // 0 when it did not say.
    int nRetryAfter = 0;
};
