#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Shard K of N of a domain list: the names whose hash modulo N is K - 1. The
// hash (64-bit FNV-1a over the name's bytes) is fixed by its definition, so
// machines that read the same list take disjoint shards that cover it
// whatever their platform or build.
struct CShard {
    unsigned nIndex = 1; // K, from 1 to nCount
    unsigned nCount = 1; // N

    bool Takes(std::string_view strName) const;

    static std::uint64_t Hash(std::string_view strName);
    // Reads "K/N"; false on anything else, with a one-line reason in strError
    // and shard left as it was.
    static bool Parse(const std::string& strText, CShard& shard, std::string& strError);
};
