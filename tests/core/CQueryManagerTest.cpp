#include "core/CQueryManager.h"

#include "MessageLog.h"
#include "tests/core/WorkerEnd.h"
#include "tests/support/ServiceTestBed.h"

#include <gtest/gtest.h>

namespace {

// The list operations; the worker runs against a local test bed and scans
// quickly, but these tests look only at the index.
class CQueryManagerTest : public testing::Test {
protected:
    ServiceTestBed m_bed;
    MessageLog m_log;
    CQueryManager m_manager{m_log.Poster(), m_bed.Hosts()};

    std::vector<std::string> IndexOrder() const {
        std::vector<std::string> domains;
        m_manager.ForEachRecord(
            [&](CDomainRecord& record) { domains.push_back(record.GetDomain()); });
        return domains;
    }
};

TEST_F(CQueryManagerTest, DuplicatesAreIgnoredAndCaseMatters) {
    m_manager.SetInterval(0);
    EXPECT_TRUE(m_manager.AddDomain("example.com"));
    EXPECT_FALSE(m_manager.AddDomain("example.com"));
    EXPECT_TRUE(m_manager.AddDomain("Example.com"));
    EXPECT_EQ(m_manager.GetCount(), 2u);
    ASSERT_TRUE(m_log.WaitFor(WM_DOMAIN_ADDED, 2));
    EXPECT_EQ(m_log.Domains(WM_DOMAIN_ADDED),
              (std::vector<std::string>{"example.com", "Example.com"}));
}

TEST_F(CQueryManagerTest, IndexIsInUnsignedByteOrder) {
    m_manager.SetInterval(0);
    for (const char* domain : {"b.com", "a.com", "a.co", "B.com", "\xE4.com", "-.com", "1.com"}) {
        m_manager.AddDomain(domain);
    }
    EXPECT_EQ(IndexOrder(), (std::vector<std::string>{"-.com", "1.com", "B.com", "a.co", "a.com",
                                                      "b.com", "\xE4.com"}));
}

TEST_F(CQueryManagerTest, AddStartsTheWorkerAndRemoveAllEmptiesTheIndex) {
    m_manager.SetInterval(0);
    m_manager.AddDomain("a.com");
    EXPECT_EQ(m_manager.IsThreadAlive(), 1);
    ASSERT_TRUE(m_log.WaitFor(WM_QUERY_END, 1));
    m_manager.Stop();
    ASSERT_TRUE(WaitForWorkerEnd(m_manager, std::chrono::seconds(5)));
    m_manager.RemoveAll();
    EXPECT_EQ(m_manager.GetCount(), 0u);
    EXPECT_EQ(m_manager.Find("a.com"), nullptr);
    EXPECT_TRUE(IndexOrder().empty());
}

TEST_F(CQueryManagerTest, FlagsStartWithTheDefaultMetrics) {
    const bool expected[kMetricCount] = {true,  true, true,  false, false,
                                         false, true, false, false, false};
    for (int i = 0; i < kMetricCount; ++i) {
        EXPECT_EQ(m_manager.GetMetricFlag(static_cast<EMetric>(i)), expected[i]) << i;
    }
    EXPECT_EQ(m_manager.GetInterval(), 1000);
    m_manager.SetMetricFlag(EMetric::GLink, true);
    m_manager.SetMetricFlag(EMetric::Alexa, false);
    EXPECT_TRUE(m_manager.GetMetricFlag(EMetric::GLink));
    EXPECT_FALSE(m_manager.GetMetricFlag(EMetric::Alexa));
}

} // namespace
