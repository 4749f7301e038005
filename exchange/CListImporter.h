#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Imports a domain list: one name per line, lines ended by any run of
// carriage returns and line feeds. Every line that passes the domain entry
// check goes to the sink, in the order of the file; the others are skipped.
//
// Runs on the caller's thread; the sink does the locking.
class CListImporter {
public:
    enum class ESkip {
        NotADomain,    // the line fails the domain entry check
        Duplicate,     // the name is already in the list
        TooLong,       // the line is too long for the matcher to take apart
        AfterZeroByte, // the text ends at a zero byte on this line; the rest is ignored
    };
    // Told about every skipped line, with its 1-based line number in the file.
    using SkipHandler =
        std::function<void(std::size_t nLine, ESkip reason, std::string_view strLine)>;

    struct SResult {
        // False when the list could not be read (nothing is added then) or
        // memory ran out on the way; strError says why.
        bool bComplete = false;
        std::string strError;
        std::size_t nAdded = 0;
        std::size_t nSkipped = 0;
    };

    // Takes a name that passed the check; false when the list holds it
    // already.
    using DomainSink = std::function<bool(const std::string& strDomain)>;
    // Asked about every non-empty line before any check; a line it declines
    // is passed over silently, as if the list did not hold it.
    using LineFilter = std::function<bool(std::string_view strLine)>;

    explicit CListImporter(DomainSink pfnAdd, SkipHandler pfnSkip = nullptr,
                           LineFilter pfnFilter = nullptr);

    // Reads the file whole, then imports it; nothing is added when the read fails.
    SResult ImportFile(const std::string& strPath) const;
    // The same for an open descriptor (standard input).
    SResult ImportDescriptor(int fd) const;
    // Imports the raw bytes of a list file.
    SResult ImportBytes(std::string strBytes) const;

private:
    class CLineWalker;

    SResult ImportText(std::string strText, std::size_t nZeroAt) const;
    // Cuts the text into lines with the line pattern and takes each one.
    void SplitLines(const std::string& strText, CLineWalker& walker, SResult& result) const;
    void TakeLine(CLineWalker& walker, std::string_view strLine, SResult& result) const;
    bool Declines(std::string_view strLine) const;
    // pAt: where the skipped line starts (for its number).
    void Skip(CLineWalker& walker, const char* pAt, std::string_view strLine, ESkip reason,
              SResult& result) const;

    DomainSink m_pfnAdd;
    SkipHandler m_pfnSkip;
    LineFilter m_pfnFilter;
};
