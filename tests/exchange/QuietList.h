#pragma once

#include "core/CQueryManager.h"
#include "exchange/CListImporter.h"
#include "tests/core/MessageLog.h"
#include "tests/support/Metrics.h"

#include <string>
#include <vector>

// What the window gives the importer: every name goes to the controller.
inline CListImporter::DomainSink AddTo(CQueryManager& manager) {
    return [&manager](const std::string& strDomain) { return manager.AddDomain(strDomain); };
}

// A score list whose worker never asks a service: no metric is ticked, the
// services sit on a closed local port, and the pause after a row outlasts
// every test, so values the test stores stay as stored.
struct QuietList {
    MessageLog log;
    CRecordStore store;
    CQueryManager manager{store, &log, CServiceHosts::AllOn("127.0.0.1:9")};

    QuietList() {
        for (int i = 0; i < int(Metric::Count); ++i) {
            manager.SetMetricFlag(static_cast<std::size_t>(i), false);
        }
        manager.SetInterval(10000);
    }

    CDomainRecord& Add(const std::string& strDomain) {
        manager.AddDomain(strDomain);
        return *manager.Store().Find(strDomain);
    }

    // The domains in the order AddDomain announced them.
    std::vector<std::string> Added() const { return log.Domains(WM_DOMAIN_ADDED); }
};
