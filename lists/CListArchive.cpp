#include "lists/CListArchive.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <vector>

namespace {

constexpr std::size_t kBlockBytes = 256 * 1024;

struct CArchiveFree {
    void operator()(archive* pArchive) const { archive_read_free(pArchive); }
};
using CArchive = std::unique_ptr<archive, CArchiveFree>;

std::string ErrorOf(archive* pArchive, const char* pszWhat) {
    const char* pszText = archive_error_string(pArchive);
    return std::string(pszWhat) + (pszText != nullptr ? std::string(": ") + pszText : "");
}

// Whether the entry is the one wanted: the named member (by its path, or
// by its last part), or the first file when none is named. A gzip or plain
// file holds one entry, whatever it is named.
bool IsWanted(archive* pArchive, archive_entry* pEntry, const std::string& strMember) {
    if (archive_format(pArchive) == ARCHIVE_FORMAT_RAW) {
        return true;
    }
    if (archive_entry_filetype(pEntry) != AE_IFREG) {
        return false;
    }
    if (strMember.empty()) {
        return true;
    }
    const char* pszPath = archive_entry_pathname(pEntry);
    const std::string_view strPath = pszPath != nullptr ? pszPath : "";
    return strPath == strMember || strPath.ends_with("/" + strMember);
}

} // namespace

CListArchive::EResult CListArchive::Read(const std::string& strPath, const std::string& strMember,
                                         std::size_t nMaxBytes, const BlockSink& pfnSink,
                                         std::string& strError) {
    CArchive pArchive(archive_read_new());
    if (!pArchive) {
        strError = "the list reader could not start";
        return EResult::Broken;
    }
    archive* pA = pArchive.get();
    archive_read_support_filter_gzip(pA);
    archive_read_support_format_zip(pA);
    archive_read_support_format_raw(pA);
    archive_read_support_format_empty(pA);
    if (archive_read_open_filename(pA, strPath.c_str(), kBlockBytes) != ARCHIVE_OK) {
        strError = ErrorOf(pA, "the list could not be opened");
        return EResult::Broken;
    }
    archive_entry* pEntry = nullptr;
    for (;;) {
        const int nHeader = archive_read_next_header(pA, &pEntry);
        if (nHeader == ARCHIVE_EOF) {
            strError = strMember.empty() ? "the archive holds no file"
                                         : "the archive holds no file '" + strMember + "'";
            return EResult::Broken;
        }
        if (nHeader < ARCHIVE_WARN) {
            strError = ErrorOf(pA, "the archive is broken");
            return EResult::Broken;
        }
        if (IsWanted(pA, pEntry, strMember)) {
            break;
        }
    }
    std::vector<char> buffer(kBlockBytes);
    std::size_t nTotal = 0;
    for (;;) {
        const la_ssize_t nRead = archive_read_data(pA, buffer.data(), buffer.size());
        if (nRead == 0) {
            return EResult::Done;
        }
        if (nRead < 0) {
            strError = ErrorOf(pA, "the list is cut short or broken");
            return EResult::Broken;
        }
        nTotal += static_cast<std::size_t>(nRead);
        if (nTotal > nMaxBytes) {
            strError = "the list unpacks to more than " + std::to_string(nMaxBytes) + " bytes";
            return EResult::TooLarge;
        }
        if (!pfnSink(std::string_view(buffer.data(), static_cast<std::size_t>(nRead)))) {
            return EResult::Stopped;
        }
    }
}
