#include "core/CCellNote.h"

#include "queries/TextHelpers.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace {

constexpr std::uint8_t kPendingBit = 0x40;
constexpr std::uint8_t kMoreBit = 0x80;
constexpr int kImpliedStatus = 200;

// How a detail follows the status and the time.
constexpr char kInternedDetail = '\0';
constexpr char kOwnDetail = '\1';
// What stands for the row's domain in an interned detail, as given and
// percent-encoded. A detail that holds either byte itself is kept whole.
constexpr char kDomainMark = '\1';
constexpr char kEncodedDomainMark = '\2';

// Every detail text of every record, each once. Texts are never removed, so
// a number stays valid; past the limits a detail is kept in its note instead,
// so that a server answering with ever new addresses cannot grow this more
// than the notes would have grown.
class CDetailTexts {
public:
    static CDetailTexts& Shared() {
        static CDetailTexts texts;
        return texts;
    }

    std::optional<std::uint32_t> Intern(std::string_view strText) {
        std::lock_guard<std::mutex> lock(m_guard);
        if (const auto it = m_ids.find(strText); it != m_ids.end()) {
            return it->second;
        }
        if (m_texts.size() >= kMostTexts || m_nBytes + strText.size() > kMostBytes) {
            return std::nullopt;
        }
        const auto nId = static_cast<std::uint32_t>(m_texts.size());
        m_texts.emplace_back(strText);
        m_nBytes += strText.size();
        m_ids.emplace(m_texts.back(), nId);
        return nId;
    }

    std::string At(std::uint32_t nId) const {
        std::lock_guard<std::mutex> lock(m_guard);
        return nId < m_texts.size() ? m_texts[nId] : std::string();
    }

private:
    static constexpr std::size_t kMostTexts = 100'000;
    static constexpr std::size_t kMostBytes = 16u << 20;

    mutable std::mutex m_guard;
    std::deque<std::string> m_texts;
    std::unordered_map<std::string_view, std::uint32_t> m_ids;
    std::size_t m_nBytes = 0;
};

bool IsMark(char c) {
    return c == kDomainMark || c == kEncodedDomainMark;
}

// The detail with the row's domain replaced by its marks; nothing when it
// cannot be marked.
std::optional<std::string> Marked(std::string_view strDetail, std::string_view strDomain) {
    if (std::any_of(strDetail.begin(), strDetail.end(), IsMark)) {
        return std::nullopt;
    }
    if (strDomain.empty()) {
        return std::string(strDetail);
    }
    std::string strMarked = ReplaceAll(strDetail, strDomain, std::string_view(&kDomainMark, 1));
    // An encoded domain that differs holds '%': a detail without one cannot
    // hold it, and most (every list's) have none.
    if (strMarked.find('%') == std::string::npos) {
        return strMarked;
    }
    const std::string strEncoded = UrlEncode(strDomain);
    if (strEncoded != strDomain) {
        strMarked = ReplaceAll(strMarked, strEncoded, std::string_view(&kEncodedDomainMark, 1));
    }
    return strMarked;
}

std::string Unmarked(std::string_view strMarked, std::string_view strDomain) {
    std::string strDetail;
    auto it = strMarked.begin();
    for (auto mark = std::find_if(it, strMarked.end(), IsMark); mark != strMarked.end();
         it = mark + 1, mark = std::find_if(it, strMarked.end(), IsMark)) {
        strDetail.append(it, mark);
        strDetail += *mark == kDomainMark ? strDomain : UrlEncode(strDomain);
    }
    strDetail.append(it, strMarked.end());
    return strDetail;
}

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

namespace {

void AppendDetail(std::string& strRest, std::string_view strDetail, std::string_view strDomain) {
    if (strDetail.empty()) {
        return;
    }
    const std::optional<std::string> strMarked = Marked(strDetail, strDomain);
    const std::optional<std::uint32_t> nId =
        strMarked ? CDetailTexts::Shared().Intern(*strMarked) : std::nullopt;
    if (nId) {
        strRest += kInternedDetail;
        AppendNumber(strRest, *nId);
    } else {
        strRest += kOwnDetail;
        strRest += strDetail;
    }
}

std::string ReadDetail(std::string_view strRest, std::string_view strDomain) {
    if (strRest.empty()) {
        return {};
    }
    const char chKind = strRest.front();
    strRest.remove_prefix(1);
    if (chKind != kInternedDetail) {
        return std::string(strRest);
    }
    return Unmarked(CDetailTexts::Shared().At(ReadNumber(strRest)), strDomain);
}

} // namespace

std::string CCellNote::Encode(const SCellState& state, std::uint32_t nRowTime,
                              std::string_view strDomain) {
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
    AppendDetail(strRest, state.strDetail, strDomain);
    strNote += static_cast<char>(nHead | kMoreBit);
    AppendNumber(strNote, static_cast<std::uint32_t>(strRest.size()));
    return strNote + strRest;
}

SCellState CCellNote::Counted(std::string_view strNote, std::uint32_t nRowTime,
                              std::string_view strDomain) {
    SCellState state;
    if (!strNote.empty()) {
        state.outcome = static_cast<EOutcome>(static_cast<std::uint8_t>(strNote.front()) & 0x03);
    }
    return state.outcome == EOutcome::Failed ? Decode(strNote, nRowTime, strDomain) : state;
}

SCellState CCellNote::Decode(std::string_view strNote, std::uint32_t nRowTime,
                             std::string_view strDomain) {
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
    state.strDetail = ReadDetail(strRest, strDomain);
    return state;
}
