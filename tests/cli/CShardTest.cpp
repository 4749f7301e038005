#include "cli/CShard.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// The hash is fixed by its definition, not by the platform or the library:
// published FNV-1a 64 values.
TEST(ShardTest, TheHashIsFnv1a64OfTheBytes) {
    const struct {
        std::string strText;
        std::uint64_t nHash;
    } rows[] = {
        {"", 0xcbf29ce484222325ULL},
        {"a", 0xaf63dc4c8601ec8cULL},
        {"foobar", 0x85944171f73967e8ULL},
        {"\xff", 0xaf64724c8602eb6eULL},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CShard::Hash(row.strText), row.nHash) << row.strText;
    }
}

std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        names.push_back("host" + std::to_string(i) + ".example");
    }
    names.push_back("A.example");
    names.push_back("a.example");
    return names;
}

// Every name falls in exactly one of the N shards.
TEST(ShardTest, TheShardsOfAListPartitionIt) {
    const std::vector<std::string> names = Names();
    for (const unsigned nCount : {1u, 2u, 3u, 7u}) {
        std::multiset<std::string> taken;
        for (unsigned nIndex = 1; nIndex <= nCount; ++nIndex) {
            const CShard shard{nIndex, nCount};
            std::size_t nInShard = 0;
            for (const std::string& strName : names) {
                if (shard.Takes(strName)) {
                    taken.insert(strName);
                    ++nInShard;
                }
            }
            // Not all in one shard: the hash spreads the names.
            if (nCount > 1) {
                EXPECT_LT(nInShard, names.size()) << nIndex << "/" << nCount;
            }
        }
        EXPECT_EQ(taken, std::multiset<std::string>(names.begin(), names.end())) << nCount;
    }
}

TEST(ShardTest, ReadsKOfN) {
    const struct {
        const char* pszText;
        unsigned nIndex;
        unsigned nCount;
    } rows[] = {
        {"1/1", 1, 1},
        {"2/3", 2, 3},
        {"7/7", 7, 7},
        {"01/010", 1, 10},
        {"4096/100000", 4096, 100000},
    };
    for (const auto& row : rows) {
        CShard shard;
        std::string strError;
        EXPECT_TRUE(CShard::Parse(row.pszText, shard, strError)) << row.pszText;
        EXPECT_EQ(shard.nIndex, row.nIndex) << row.pszText;
        EXPECT_EQ(shard.nCount, row.nCount) << row.pszText;
    }
}

TEST(ShardTest, RefusesAnythingButKOfNWithKFrom1ToN) {
    for (const char* pszText : {"",     "1",    "/",     "1/",        "/3",
                                "0/3",  "4/3",  "1/0",   "0/0",       "-1/3",
                                "1/-3", "+1/3", "1/3/4", "a/3",       "1/b",
                                " 1/3", "1 /3", "1/3 ",  "1/1000001", "99999999999999999999/1"}) {
        CShard shard{2, 5};
        std::string strError;
        EXPECT_FALSE(CShard::Parse(pszText, shard, strError)) << pszText;
        EXPECT_EQ(strError, "the shard must be K/N, whole numbers with 1 <= K <= N <= 1000000, "
                            "not '" +
                                std::string(pszText) + "'");
        EXPECT_EQ(shard.nIndex, 2u) << pszText;
        EXPECT_EQ(shard.nCount, 5u) << pszText;
    }
}

} // namespace
