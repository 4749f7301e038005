#include "queries/TransferReason.h"

EFailReason ReasonOf(CWebClient::EFailure failure) {
    switch (failure) {
    case CWebClient::EFailure::Resolve:
        return EFailReason::Dns;
    case CWebClient::EFailure::Stalled:
        return EFailReason::Timeout;
    case CWebClient::EFailure::TooSlow:
        return EFailReason::TooSlow;
    case CWebClient::EFailure::TooLarge:
        return EFailReason::TooLarge;
    case CWebClient::EFailure::Redirects:
    case CWebClient::EFailure::Refused:
        return EFailReason::Redirects;
    case CWebClient::EFailure::Cancelled:
        return EFailReason::Cancelled;
    case CWebClient::EFailure::None:
    case CWebClient::EFailure::Connect:
    case CWebClient::EFailure::Stopped:
        break;
    }
    return EFailReason::Connect;
}
