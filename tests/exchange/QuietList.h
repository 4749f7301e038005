#pragma once

#include "core/CQueryManager.h"
#include "tests/core/MessageLog.h"

#include <string>
#include <vector>

// A score list whose worker never asks a service: no metric is ticked, the
// services sit on a closed local port, and the pause after a row outlasts
// every test, so values the test stores stay as stored.
struct QuietList {
    MessageLog log;
    CQueryManager manager{log.Poster(), CServiceHosts::AllOn("127.0.0.1:9")};

    QuietList() {
        for (int i = 0; i < kMetricCount; ++i) {
            manager.SetMetricFlag(static_cast<EMetric>(i), false);
        }
        manager.SetInterval(10000);
    }

    CDomainRecord& Add(const std::string& strDomain) {
        manager.AddDomain(strDomain);
        return *manager.Find(strDomain);
    }

    // The domains in the order AddDomain announced them.
    std::vector<std::string> Added() const { return log.Domains(WM_DOMAIN_ADDED); }
};
