#include "core/CCellNote.h"

namespace {

constexpr std::uint8_t kPendingBit = 0x40;
constexpr std::uint8_t kMoreBit = 0x80;
constexpr int kImpliedStatus = 200;

void AppendNumber(std::string& strOut, std::uint32_t nValue) {
    while (nValue >= 0x80) {
        strOut += static_cast<char>((nValue & 0x7F) | 0x80);
        nValue >>= 7;
    }
    strOut += static_cast<char>(nValue);
}

std::uint32_t ReadNumber(std::string_view& strIn) {
    std::uint32_t nValue = 0;
    for (unsigned nShift = 0; !strIn.empty() && nShift < 35; nShift += 7) {
        const auto nByte = static_cast<std::uint8_t>(strIn.front());
        strIn.remove_prefix(1);
        nValue |= static_cast<std::uint32_t>(nByte & 0x7F) << nShift;
        if ((nByte & 0x80) == 0) {
            break;
        }
    }
    return nValue;
}

// An answered cell without a status of its own was answered with 200.
bool Answered(EOutcome outcome) {
    return outcome == EOutcome::Value || outcome == EOutcome::None;
}

} // namespace

std::string CCellNote::Encode(const SCellState& state, std::uint32_t nRowTime) {
    auto nHead = static_cast<std::uint8_t>(static_cast<unsigned>(state.outcome) |
                                           static_cast<unsigned>(state.reason) << 2);
    if (state.bPending) {
        nHead |= kPendingBit;
    }
    const bool bOwnStatus =
        Answered(state.outcome) ? state.nHttpStatus != kImpliedStatus : state.nHttpStatus != 0;
    const bool bOwnTime = state.nFetchedAt != nRowTime;
    std::string strNote;
    if (!bOwnStatus && !bOwnTime && state.strDetail.empty()) {
        strNote += static_cast<char>(nHead);
        return strNote;
    }
    strNote += static_cast<char>(nHead | kMoreBit);
    AppendNumber(strNote, static_cast<std::uint32_t>(state.nHttpStatus));
    AppendNumber(strNote, state.nFetchedAt);
    strNote += state.strDetail;
    return strNote;
}

SCellState CCellNote::Decode(std::string_view strNote, std::uint32_t nRowTime) {
    SCellState state;
    if (strNote.empty()) {
        return state;
    }
    const auto nHead = static_cast<std::uint8_t>(strNote.front());
    strNote.remove_prefix(1);
    state.outcome = static_cast<EOutcome>(nHead & 0x03);
    state.reason = static_cast<EFailReason>((nHead >> 2) & 0x0F);
    state.bPending = (nHead & kPendingBit) != 0;
    if ((nHead & kMoreBit) == 0) {
        state.nHttpStatus = Answered(state.outcome) ? kImpliedStatus : 0;
        state.nFetchedAt = nRowTime;
        return state;
    }
    state.nHttpStatus = static_cast<int>(ReadNumber(strNote));
    state.nFetchedAt = ReadNumber(strNote);
    state.strDetail = std::string(strNote);
    return state;
}
