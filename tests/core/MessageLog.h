#pragma once

#include "core/CDomainRecord.h"
#include "core/IScanListener.h"
#include "core/SPassSummary.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// The kinds of row report the log keeps apart.
enum EReportKind : unsigned { WM_DOMAIN_ADDED, WM_QUERY_BEGIN, WM_QUERY_END };

// Collects what the scan controller reports, from any thread, so tests can
// wait for the reports and look at their order.
class MessageLog : public IScanListener {
public:
    struct Entry {
        unsigned nMessage;
        std::string strDomain;
        std::chrono::steady_clock::time_point at;
    };

    void OnRowAdded(CDomainRecord& record) override { Log(WM_DOMAIN_ADDED, record); }
    void OnScanBegun(CDomainRecord& record) override { Log(WM_QUERY_BEGIN, record); }
    void OnScanEnded(CDomainRecord& record) override { Log(WM_QUERY_END, record); }
    void OnPassEnded(const SPassSummary& summary) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_passes.push_back(summary);
        }
        m_changed.notify_all();
    }

    bool WaitForPasses(std::size_t nCount,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_passes.size() >= nCount; });
    }

    std::vector<SPassSummary> Passes() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_passes;
    }

    std::vector<Entry> Entries() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries;
    }

    // The domains of one kind of message, in the order posted.
    std::vector<std::string> Domains(unsigned nMessage) const {
        std::vector<std::string> domains;
        for (const Entry& entry : Entries()) {
            if (entry.nMessage == nMessage) {
                domains.push_back(entry.strDomain);
            }
        }
        return domains;
    }

    bool WaitFor(unsigned nMessage, std::size_t nCount,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            std::size_t n = 0;
            for (const Entry& entry : m_entries) {
                n += entry.nMessage == nMessage ? 1 : 0;
            }
            return n >= nCount;
        });
    }

private:
    void Log(unsigned nMessage, const CDomainRecord& record) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_entries.push_back(
                {nMessage, std::string(record.GetDomain()), std::chrono::steady_clock::now()});
        }
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Entry> m_entries;
    std::vector<SPassSummary> m_passes;
};
