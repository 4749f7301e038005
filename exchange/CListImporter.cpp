#include "exchange/CListImporter.h"

#include "core/DomainValidation.h"
#include "exchange/ListFile.h"
#include "regex/regex.h"

#include <new>
#include <stdexcept>

namespace {

// Group 1 is a line's content: the shortest run of other bytes before at
// least one carriage return or line feed (raw bytes in the pattern text).
constexpr const char* kLinePattern = "([^\r\n]*?)[\r\n]+";
constexpr std::uint32_t kLineFlags =
    regex::ignore_case | regex::global | regex::single_line | regex::all_backrefs;

// The text is matched a piece at a time, each piece ending after a run of
// line ends, so the result list stays small; the lines are the same.
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

std::size_t SkipLineEnds(const std::string& strText, std::size_t nPos) {
    while (nPos < strText.size() && IsLineEnd(strText[nPos])) {
        ++nPos;
    }
    return nPos;
}

std::size_t FindLineEnd(const std::string& strText, std::size_t nPos) {
    const std::size_t nEnd = strText.find_first_of("\r\n", nPos);
    return nEnd == std::string::npos ? strText.size() : nEnd;
}

std::size_t PieceEnd(const std::string& strText, std::size_t nBegin) {
    if (strText.size() - nBegin <= kPieceBytes) {
        return strText.size();
    }
    return SkipLineEnds(strText, FindLineEnd(strText, nBegin + kPieceBytes));
}

} // namespace

// Tells the line number of a position, counting line ends as the file has
// them (CR LF is one, a lone CR or LF is one). Positions are asked in
// ascending order, so the whole text is counted once.
class CListImporter::CLineWalker {
public:
    explicit CLineWalker(const std::string& strText) : m_strText(strText) {}

    std::size_t LineAt(const char* pAt) {
        const auto nAt = static_cast<std::size_t>(pAt - m_strText.data());
        for (; m_nCounted < nAt; ++m_nCounted) {
            const char c = m_strText[m_nCounted];
            const bool bPairedCR =
                c == '\r' && m_nCounted + 1 < m_strText.size() && m_strText[m_nCounted + 1] == '\n';
            m_nLine += (c == '\n' || (c == '\r' && !bPairedCR)) ? 1 : 0;
        }
        return m_nLine;
    }

private:
    const std::string& m_strText;
    std::size_t m_nCounted = 0;
    std::size_t m_nLine = 1;
};

CListImporter::CListImporter(DomainSink pfnAdd, SkipHandler pfnSkip, LineFilter pfnFilter)
    : m_pfnAdd(std::move(pfnAdd)), m_pfnSkip(std::move(pfnSkip)),
      m_pfnFilter(std::move(pfnFilter)) {}

CListImporter::SResult CListImporter::ImportFile(const std::string& strPath) const {
    std::string strBytes;
    SResult result;
    if (!ReadListFile(strPath, strBytes, result.strError)) {
        return result;
    }
    return ImportBytes(std::move(strBytes));
}

CListImporter::SResult CListImporter::ImportDescriptor(int fd) const {
    std::string strBytes;
    SResult result;
    if (!ReadListBytes(fd, strBytes, result.strError)) {
        return result;
    }
    return ImportBytes(std::move(strBytes));
}

CListImporter::SResult CListImporter::ImportBytes(std::string strBytes) const {
    try {
        std::size_t nZeroAt = std::string::npos;
        std::string strText = DecodeListText(std::move(strBytes), &nZeroAt);
        return ImportText(std::move(strText), nZeroAt);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    SResult result;
    result.strError = "not enough memory to import the list";
    return result;
}

CListImporter::SResult CListImporter::ImportText(std::string strText, std::size_t nZeroAt) const {
    // The line a zero byte cuts short is no name; the text ends before it.
    std::string strCutLine;
    if (nZeroAt != std::string::npos) {
        const std::size_t nLastEnd = strText.find_last_of("\r\n");
        const std::size_t nLineStart = nLastEnd == std::string::npos ? 0 : nLastEnd + 1;
        strCutLine = strText.substr(nLineStart);
        strText.resize(nLineStart);
    }
    // A last line without its line end is still a line.
    if (!strText.empty() && !IsLineEnd(strText.back())) {
        strText += '\n';
    }
    CLineWalker walker(strText);
    SResult result;
    SplitLines(strText, walker, result);
    if (nZeroAt != std::string::npos) {
        Skip(walker, strText.data() + strText.size(), strCutLine, ESkip::AfterZeroByte, result);
    }
    result.bComplete = true;
    return result;
}

void CListImporter::SplitLines(const std::string& strText, CLineWalker& walker,
                               SResult& result) const {
    const regex::compiled_pattern pattern(kLinePattern, kLineFlags, regex::mode_recursive);
    regex::match_backrefs results;
    std::size_t nPos = 0;
    while (nPos < strText.size()) {
        const std::size_t nPieceEnd = PieceEnd(strText, nPos);
        regex::run_match(pattern, results, strText.data() + nPos, strText.data() + nPieceEnd);
        const auto& entries = results.entries();
        for (std::size_t k = 1; k < entries.size(); k += 2) {
            TakeLine(walker, entries[k].view(), result);
        }
        const bool bAny = entries.size() >= 2 && entries[entries.size() - 2].matched;
        const char* pStop = bAny ? entries[entries.size() - 2].second : strText.data() + nPos;
        nPos = static_cast<std::size_t>(pStop - strText.data());
        if (nPos < nPieceEnd) {
            // The matcher gave up inside this line: skip it, take up the rest.
            const std::size_t nLineEnd = FindLineEnd(strText, nPos);
            const std::string_view strLine(strText.data() + nPos, nLineEnd - nPos);
            if (!Declines(strLine)) {
                Skip(walker, strLine.data(), strLine, ESkip::TooLong, result);
            }
            nPos = SkipLineEnds(strText, nLineEnd);
        }
    }
}

void CListImporter::TakeLine(CLineWalker& walker, std::string_view strLine, SResult& result) const {
    if (strLine.empty() || Declines(strLine)) {
        return;
    }
    const std::string strDomain(strLine);
    if (!IsValidDomain(strDomain)) {
        Skip(walker, strLine.data(), strLine, ESkip::NotADomain, result);
    } else if (!m_pfnAdd(strDomain)) {
        Skip(walker, strLine.data(), strLine, ESkip::Duplicate, result);
    } else {
        ++result.nAdded;
    }
}

bool CListImporter::Declines(std::string_view strLine) const {
    return m_pfnFilter && !m_pfnFilter(strLine);
}

void CListImporter::Skip(CLineWalker& walker, const char* pAt, std::string_view strLine,
                         ESkip reason, SResult& result) const {
    ++result.nSkipped;
    if (m_pfnSkip) {
        m_pfnSkip(walker.LineAt(pAt), reason, strLine);
    }
}
