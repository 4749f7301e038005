#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a cached list's database says of itself.
struct SListInfo {
    // The list's address without a query or user part.
    std::string strUrl;
    std::string strETag;
    std::string strLastModified;
    // When the list was last downloaded or found unchanged, in seconds since 1970.
    std::int64_t nFetchedAt = 0;
    std::int64_t nRows = 0;
    // The value columns the database holds, as SListColumn::Text writes them.
    std::vector<std::string> columns;
};
