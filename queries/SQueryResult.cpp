#include "queries/SQueryResult.h"

#include <array>

namespace {

constexpr std::array<SFailReasonText, 12> kReasons = {{
    {EFailReason::None, "", ""},
    {EFailReason::Dns, "dns", "could not resolve the host"},
    {EFailReason::Connect, "connect", "could not connect"},
    {EFailReason::Timeout, "timeout", "no answer for 30 seconds"},
    {EFailReason::TooSlow, "too_slow", "the answer came too slowly"},
    {EFailReason::TooLarge, "too_large", "the answer was too large"},
    {EFailReason::Redirects, "redirects", "too many redirects"},
    {EFailReason::HttpStatus, "http_status", "the service answered with an error"},
    {EFailReason::Blocked, "blocked", "blocked by the service"},
    {EFailReason::NoMatch, "no_match", "the page held no value (changed or unexpected)"},
    {EFailReason::Cancelled, "cancelled", "cancelled"},
    {EFailReason::Unavailable, "unavailable", "the list is not available"},
}};

constexpr bool InEnumOrder() {
    for (std::size_t n = 0; n < kReasons.size(); ++n) {
        if (static_cast<std::size_t>(kReasons[n].reason) != n) {
            return false;
        }
    }
    return kReasons.back().reason == EFailReason::Unavailable;
}
static_assert(InEnumOrder(), "one row per reason, in the enum's order");

const SFailReasonText& TextOf(EFailReason reason) {
    const auto n = static_cast<std::size_t>(reason);
    return kReasons[n < kReasons.size() ? n : 0];
}

} // namespace

std::span<const SFailReasonText> FailReasons() {
    return kReasons;
}

std::string_view OutcomeName(EOutcome outcome) {
    static constexpr std::string_view kNames[] = {"not_asked", "value", "none", "failed"};
    return kNames[static_cast<std::size_t>(outcome) & 3];
}

std::string_view ReasonName(EFailReason reason) {
    return TextOf(reason).strName;
}

std::string_view ReasonPhrase(EFailReason reason) {
    return TextOf(reason).strPhrase;
}
