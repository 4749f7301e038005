#pragma once

#include <cstdint>
#include <span>
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
// final address, or the parser. FailReasons() says each one's name and
// phrase.
enum class EFailReason : std::uint8_t {
    None,
    Dns,
    Connect,
    Timeout,
    TooSlow,
    TooLarge,
    Redirects,
    HttpStatus,
    Blocked,
    NoMatch,
    Cancelled,
    // A list source's list cannot be had here: not cached while offline, or
    // a cache folder that cannot be written.
    Unavailable,
};

// A failure reason's name, used in files and on the command line, and a
// short English phrase for messages.
struct SFailReasonText {
    EFailReason reason;
    std::string_view strName;
    std::string_view strPhrase;
};
// Every reason in the enum's order, None first (empty name and phrase).
std::span<const SFailReasonText> FailReasons();

std::string_view OutcomeName(EOutcome outcome);
std::string_view ReasonName(EFailReason reason);
std::string_view ReasonPhrase(EFailReason reason);

// What became of one cell: the outcome, for a failure its reason, the
// final reply's status (0 when none came) and a detail for the user
// (libcurl's message or the address the reply came from, shown without keys).
// The query fills these; the record adds when the cell was asked and whether
// it waits to be asked again.
struct SCellState {
    EOutcome outcome = EOutcome::NotAsked;
    EFailReason reason = EFailReason::None;
    int nHttpStatus = 0;
    std::string strDetail;
    // When the cell was asked, in seconds since 1970; 0 when never.
    std::uint32_t nFetchedAt = 0;
    // Marked to be asked again by the next pass.
    bool bPending = false;
};

// One query's answer: the value text exactly as the reply shows it (empty
// unless the outcome is Value) and the cell's state.
struct SQueryResult {
    std::string strValue;
    SCellState state;
    // How long the service asked to be left alone (Retry-After), in seconds;
    // 0 when it did not say.
    int nRetryAfter = 0;
};
