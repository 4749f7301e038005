#include "queries/SQueryResult.h"

std::string_view OutcomeName(EOutcome outcome) {
    switch (outcome) {
    case EOutcome::NotAsked:
        return "not_asked";
    case EOutcome::Value:
        return "value";
    case EOutcome::None:
        return "none";
    case EOutcome::Failed:
        break;
    }
    return "failed";
}

std::string_view ReasonName(EFailReason reason) {
    switch (reason) {
    case EFailReason::None:
        return "";
    case EFailReason::Dns:
        return "dns";
    case EFailReason::Connect:
        return "connect";
    case EFailReason::Timeout:
        return "timeout";
    case EFailReason::TooSlow:
        return "too_slow";
    case EFailReason::TooLarge:
        return "too_large";
    case EFailReason::Redirects:
        return "redirects";
    case EFailReason::HttpStatus:
        return "http_status";
    case EFailReason::Blocked:
        return "blocked";
    case EFailReason::NoMatch:
        return "no_match";
    case EFailReason::Unavailable:
        return "unavailable";
    case EFailReason::Cancelled:
        break;
    }
    return "cancelled";
}

std::string_view ReasonPhrase(EFailReason reason) {
    switch (reason) {
    case EFailReason::None:
        return "";
    case EFailReason::Dns:
        return "could not resolve the host";
    case EFailReason::Connect:
        return "could not connect";
    case EFailReason::Timeout:
        return "no answer for 30 seconds";
    case EFailReason::TooSlow:
        return "the answer came too slowly";
    case EFailReason::TooLarge:
        return "the answer was too large";
    case EFailReason::Redirects:
        return "too many redirects";
    case EFailReason::HttpStatus:
        return "the service answered with an error";
    case EFailReason::Blocked:
        return "blocked by the service";
    case EFailReason::NoMatch:
        return "the page held no value (changed or unexpected)";
    case EFailReason::Unavailable:
        return "the list is not available";
    case EFailReason::Cancelled:
        break;
    }
    return "cancelled";
}
