#include "core/CDomainIndex.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::string_view_literals;

// Random names from a small alphabet, so that many repeat, many are shorter
// than eight bytes and many are prefixes of others; half of them may start
// with a shared text of sixteen or more bytes, where the index's inline key
// prefixes tie.
class CNameSource {
public:
    CNameSource(std::string_view strAlphabet, std::size_t nMaxLength, std::string_view strShared,
                unsigned nSeed)
        : m_strAlphabet(strAlphabet), m_nMaxLength(nMaxLength), m_strShared(strShared),
          m_random(nSeed) {}

    std::string Next() {
        std::string strName = m_random() % 2 == 0 ? std::string(m_strShared) : std::string();
        const std::size_t nLength = 1 + m_random() % m_nMaxLength;
        for (std::size_t i = 0; i < nLength; ++i) {
            strName += m_strAlphabet[m_random() % m_strAlphabet.size()];
        }
        return strName;
    }

private:
    std::string_view m_strAlphabet;
    std::size_t m_nMaxLength;
    std::string_view m_strShared;
    std::mt19937 m_random;
};

std::vector<std::string> WalkAll(const CDomainIndex& index) {
    std::vector<std::string> names;
    for (const CDomainRecord* p = index.First(); p != nullptr; p = index.After(p->GetDomain())) {
        names.emplace_back(p->GetDomain());
    }
    return names;
}

struct SIndexCase {
    const char* szName;
    std::size_t nChunkCapacity;
    std::string_view strAlphabet;
    std::size_t nMaxLength;
    std::string_view strShared;
    std::size_t nInserts;
};

const SIndexCase kIndexCases[] = {
    {"tiny chunks, short names", 2, "ab.", 6, "", 300},
    {"ties on the first sixteen bytes across chunk bounds", 3, "ab", 5, "www.a-shared-stem-", 400},
    // Zero bytes make "ab" and "ab\0" share the padded prefix; high bytes
    // must sort above ASCII.
    {"zero and high bytes", 4, "a\0\xE4"sv, 10, "", 400},
    {"full-size chunks", CDomainIndex::kChunkCapacity, "abcdefghij.-", 14, "www.", 6000},
};

TEST(CDomainIndexTest, AgreesWithAnOrderedSet) {
    for (const SIndexCase& test : kIndexCases) {
        SCOPED_TRACE(test.szName);
        CDomainIndex index(test.nChunkCapacity);
        std::set<std::string> reference;
        std::map<std::string, const CDomainRecord*> records;
        CNameSource names(test.strAlphabet, test.nMaxLength, test.strShared, 1);
        for (std::size_t i = 0; i < test.nInserts; ++i) {
            const std::string strName = names.Next();
            const CDomainRecord* pRecord = index.Insert(strName);
            ASSERT_EQ(pRecord != nullptr, reference.insert(strName).second) << strName;
            if (pRecord != nullptr) {
                EXPECT_EQ(pRecord->GetDomain(), strName);
                records[strName] = pRecord;
            }
        }
        EXPECT_EQ(index.GetCount(), reference.size());
        EXPECT_EQ(WalkAll(index), std::vector<std::string>(reference.begin(), reference.end()));
        // Records keep their addresses through every split.
        for (const auto& [strName, pRecord] : records) {
            EXPECT_EQ(index.Find(strName), pRecord) << strName;
        }
        // Names that may or may not be indexed: look-up and the next entry.
        CNameSource probes(test.strAlphabet, test.nMaxLength, test.strShared, 2);
        for (std::size_t i = 0; i < test.nInserts; ++i) {
            const std::string strProbe = probes.Next();
            const auto itAbove = reference.upper_bound(strProbe);
            const CDomainRecord* pAfter = index.After(strProbe);
            EXPECT_EQ(pAfter == nullptr ? "(end)" : pAfter->GetDomain(),
                      itAbove == reference.end() ? "(end)" : *itAbove)
                << strProbe;
            EXPECT_EQ(index.Find(strProbe) != nullptr, reference.count(strProbe) == 1) << strProbe;
        }
    }
}

// A walk from record to record sees every entry that was there when it
// started, and of those added on the way exactly the ones ahead of it.
TEST(CDomainIndexTest, AWalkSeesTheEntriesAddedAheadOfIt) {
    CDomainIndex index(3);
    std::set<std::string> expected;
    CNameSource names("abc", 6, "www.a-shared-stem-", 3);
    for (int i = 0; i < 200; ++i) {
        const std::string strName = names.Next();
        index.Insert(strName);
        expected.insert(strName);
    }
    std::vector<std::string> visited;
    for (const CDomainRecord* p = index.First(); p != nullptr; p = index.After(p->GetDomain())) {
        visited.emplace_back(p->GetDomain());
        for (int i = 0; i < 2; ++i) {
            const std::string strName = names.Next();
            if (index.Insert(strName) != nullptr && strName > p->GetDomain()) {
                expected.insert(strName);
            }
        }
    }
    EXPECT_EQ(visited, std::vector<std::string>(expected.begin(), expected.end()));
}

TEST(CDomainIndexTest, ClearDeletesEveryRecordAndTheIndexStartsAfresh) {
    CDomainIndex index(2);
    for (const char* szName : {"c.com", "a.com", "b.com", "d.com", "e.com"}) {
        index.Insert(szName);
    }
    index.Clear();
    EXPECT_EQ(index.GetCount(), 0u);
    EXPECT_EQ(index.First(), nullptr);
    EXPECT_EQ(index.Find("a.com"), nullptr);
    EXPECT_EQ(index.After(""), nullptr);
    ASSERT_NE(index.Insert("a.com"), nullptr);
    EXPECT_EQ(WalkAll(index), std::vector<std::string>{"a.com"});
}

// A bounded walk from a record finds the next record that fn holds for, or
// stops after its limit at the last record it looked at, or at the end.
TEST(CDomainIndexTest, ABoundedWalkFindsTheNextMatchOrStopsAtItsLimit) {
    CDomainIndex index(4); // small chunks: walks cross many of them
    std::vector<CDomainRecord*> records;
    for (int n = 0; n < 40; ++n) {
        const std::string strName = std::string(n < 10 ? "d0" : "d") + std::to_string(n);
        records.push_back(index.Insert(strName));
    }
    const auto named = [](std::string_view strName) {
        return [strName](const CDomainRecord& record) { return record.GetDomain() == strName; };
    };
    struct Case {
        const char* pszFrom; // null: from the start
        std::size_t nLimit;
        const char* pszWanted;
        const char* pszFound; // null: none
        const char* pszLast;  // null: the end was reached
    };
    const Case cases[] = {
        {nullptr, 100, "d00", "d00", "d00"},   {nullptr, 100, "d39", "d39", "d39"},
        {"d00", 100, "d00", nullptr, "d39"},   {"d05", 100, "d31", "d31", "d31"},
        {"d05", 3, "d31", nullptr, "d08"},     {"d38", 100, "d00", nullptr, "d39"},
        {"d39", 100, "d00", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const CDomainRecord* pFrom = c.pszFrom != nullptr ? index.Find(c.pszFrom) : nullptr;
        const CDomainIndex::SFound found = index.FindFrom(pFrom, c.nLimit, named(c.pszWanted));
        const auto name = [](const CDomainRecord* p) {
            return p == nullptr ? std::string("(none)") : std::string(p->GetDomain());
        };
        const std::string strCase =
            std::string(c.pszFrom != nullptr ? c.pszFrom : "(start)") + " for " + c.pszWanted;
        EXPECT_EQ(name(found.pFound), c.pszFound != nullptr ? c.pszFound : "(none)") << strCase;
        EXPECT_EQ(name(found.pLast), c.pszLast != nullptr ? c.pszLast : "(none)") << strCase;
    }
}

// A walk goes on from the record it stopped at even when names added since
// moved that record to another slot or chunk.
TEST(CDomainIndexTest, AWalkGoesOnAfterItsRecordWhenAddsMovedIt) {
    CDomainIndex index(4);
    for (const char* szName : {"b", "d", "f", "h", "j", "l"}) {
        index.Insert(szName);
    }
    const auto all = [](const CDomainRecord&) { return true; };
    const auto walkedTo = [&](const CDomainRecord* pFrom) {
        const CDomainRecord* pFound = index.FindFrom(pFrom, 100, all).pFound;
        return pFound == nullptr ? std::string("(end)") : std::string(pFound->GetDomain());
    };
    const CDomainRecord* pF = index.Find("f");
    EXPECT_EQ(walkedTo(pF), "h"); // the walk stops at h
    const CDomainRecord* pH = index.Find("h");
    for (const char* szName : {"a", "c", "e", "g0", "g1", "g2", "i"}) {
        index.Insert(szName);
    }
    EXPECT_EQ(walkedTo(pH), "i");
    EXPECT_EQ(walkedTo(index.Find("i")), "j"); // from where the last walk stopped
    EXPECT_EQ(walkedTo(pF), "g0");
    EXPECT_EQ(walkedTo(index.Find("l")), "(end)");
}

} // namespace
