#pragma once

#include <functional>
#include <string>
#include <string_view>

class CDomainRecord;
class CQueryManager;

// The nine header texts of the export file, in file order. The defaults are
// the English texts; the window passes its translated ones.
struct SCsvHeader {
    std::string strDomain = "Domain name";
    std::string strPR = "PR";
    std::string strGSite = "GSite";
    std::string strGSearch1 = "GSearch1";
    std::string strGSearch2 = "GSearch2";
    std::string strBSite = "BSite";
    std::string strBSearch1 = "BSearch1";
    std::string strBSearch2 = "BSearch2";
    std::string strAlexa = "Alexa";
};

// Writes the score list as comma-separated text: the header line, then one
// line per record in the order of the domain index. The domain and PR stand
// bare, the seven other values in double quotes, written as stored; every
// line ends with CR LF. The link counts are not exported.
//
// Runs on the caller's thread while the worker may store values: each
// record's texts are copied through its getters before they are written.
class CCsvExporter {
public:
    explicit CCsvExporter(SCsvHeader header = {});

    // Writes the file at strPath. It is written beside its final name and
    // moved into place only when complete, so a failed export never harms an
    // existing file. False when the list is empty (no file is created or
    // touched, *pError is set to the empty text) or when the file cannot be
    // written (*pError says why).
    bool ExportCsv(const CQueryManager& manager, const std::string& strPath,
                   std::string* pError = nullptr) const;
    // Writes the same bytes to an open descriptor, such as standard output;
    // an empty list writes nothing and answers false.
    bool WriteCsv(const CQueryManager& manager, int fd, std::string* pError = nullptr) const;

private:
    std::string HeaderLine() const;
    static void AppendRecordLine(const CDomainRecord& record, std::string& strOut);
    using BlockWriter = std::function<bool(std::string_view block)>;
    // Builds the lines and hands them to the writer in large blocks; stops at
    // the first failed write.
    bool WriteLines(const CQueryManager& manager, const BlockWriter& pfnWrite) const;

    SCsvHeader m_header;
};
