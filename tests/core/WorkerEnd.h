#pragma once

#include "core/CQueryManager.h"

#include <chrono>
#include <thread>

// Waits until the controller's worker has ended, or the time is up; answers
// whether it ended. Handles no event, so messages the worker posted stay
// queued.
inline bool WaitForWorkerEnd(const CQueryManager& manager,
                             std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (manager.IsThreadAlive() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !manager.IsThreadAlive();
}
