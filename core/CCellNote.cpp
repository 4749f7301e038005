#include "core/CCellNote.h"

#include <algorithm>

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

// The length of the note that starts strNotes, within the joined notes.
std::size_t JoinedLength(std::string_view strNotes);

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

std::size_t JoinedLength(std::string_view strNotes) {
    if (strNotes.empty()) {
        return 0;
    }
    if ((static_cast<std::uint8_t>(strNotes.front()) & kMoreBit) == 0) {
        return 1;
    }
    std::string_view strRest = strNotes.substr(1);
    const std::size_t nRest = ReadNumber(strRest);
    return strNotes.size() - strRest.size() + std::min(nRest, strRest.size());
}

} // namespace

std::string_view CCellNote::NoteAt(std::string_view strNotes, std::size_t nCell) {
    for (; nCell > 0 && !strNotes.empty(); --nCell) {
        strNotes.remove_prefix(JoinedLength(strNotes));
    }
    return strNotes.substr(0, JoinedLength(strNotes));
}

std::string CCellNote::WithNote(std::string_view strNotes, std::size_t nCell,
                                std::string_view strNote) {
    std::string strOut;
    for (std::size_t i = 0; i <= nCell || !strNotes.empty(); ++i) {
        const std::size_t nLength = JoinedLength(strNotes);
        if (i != nCell) {
            // A cell before the end of the notes and never asked.
            strOut += nLength == 0 ? std::string_view("\0", 1) : strNotes.substr(0, nLength);
        } else if (!strNote.empty()) {
            strOut += strNote;
        } else {
            strOut += '\0';
        }
        strNotes.remove_prefix(nLength);
    }
    return strOut;
}

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
    std::string strRest;
    AppendNumber(strRest, static_cast<std::uint32_t>(state.nHttpStatus));
    AppendNumber(strRest, state.nFetchedAt);
    strRest += state.strDetail;
    strNote += static_cast<char>(nHead | kMoreBit);
    AppendNumber(strNote, static_cast<std::uint32_t>(strRest.size()));
    return strNote + strRest;
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
    const std::size_t nRest = ReadNumber(strNote);
    std::string_view strRest = strNote.substr(0, nRest);
    state.nHttpStatus = static_cast<int>(ReadNumber(strRest));
    state.nFetchedAt = ReadNumber(strRest);
    state.strDetail = std::string(strRest);
    return state;
}
