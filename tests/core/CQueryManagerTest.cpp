#include "core/CQueryManager.h"
#include "tests/support/Metrics.h"

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
    CRecordStore m_store;
    CQueryManager m_manager{m_store, &m_log, m_bed.Hosts()};

    std::vector<std::string> IndexOrder() const {
        std::vector<std::string> domains;
        m_manager.Store().ForEachRecord(
            [&](CDomainRecord& record) { domains.emplace_back(record.GetDomain()); });
        return domains;
    }
};

TEST_F(CQueryManagerTest, DuplicatesAreIgnoredAndCaseMatters) {
    m_manager.SetInterval(0);
    EXPECT_TRUE(m_manager.AddDomain("example.com"));
    EXPECT_FALSE(m_manager.AddDomain("example.com"));
    EXPECT_TRUE(m_manager.AddDomain("Example.com"));
    EXPECT_EQ(m_manager.Store().GetCount(), 2u);
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
    EXPECT_EQ(m_manager.Store().GetCount(), 0u);
    EXPECT_EQ(m_manager.Store().Find("a.com"), nullptr);
    EXPECT_TRUE(IndexOrder().empty());
}

TEST_F(CQueryManagerTest, FlagsStartWithTheDefaultMetrics) {
    const bool expected[int(Metric::Count)] = {true,  true,  true,  false, false, false, true,
                                               false, false, false, false, false, false};
    for (int i = 0; i < int(Metric::Count); ++i) {
        EXPECT_EQ(m_manager.GetMetricFlag(static_cast<std::size_t>(i)), expected[i]) << i;
    }
    EXPECT_EQ(m_manager.GetInterval(), 1000);
    m_manager.SetMetricFlag(Metric::GLink, true);
    m_manager.SetMetricFlag(Metric::Alexa, false);
    EXPECT_TRUE(m_manager.GetMetricFlag(Metric::GLink));
    EXPECT_FALSE(m_manager.GetMetricFlag(Metric::Alexa));
}

} // namespace
