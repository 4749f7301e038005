#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Streams the text of a downloaded list out of its file: a zip archive (the
// member named, or the first file), a gzip file, or plain text, read through
// libarchive a block at a time so that no whole list is ever held.
class CListArchive {
public:
    enum class EResult { Done, Broken, TooLarge, Stopped };

    // The sink takes each block; false stops the reading (Stopped). Broken:
    // the file is no readable archive, is cut short, or lacks the member;
    // TooLarge: the text runs past nMaxBytes. strError says what went wrong.
    using BlockSink = std::function<bool(std::string_view strBlock)>;
    static EResult Read(const std::string& strPath, const std::string& strMember,
                        std::size_t nMaxBytes, const BlockSink& pfnSink, std::string& strError);
};
