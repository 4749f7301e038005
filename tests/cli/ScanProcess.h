#pragma once

#include <string>
#include <vector>

// Runs tallyvine-scan as a child process and collects what it wrote.
struct ScanRun {
    int nExitCode = -1;
    std::string strOut;
    std::string strErr;
};

struct ScanRequest {
    std::vector<std::string> args;
    std::string strStdin;
    std::string strServiceHost;  // TALLYVINE_SERVICE_HOST, when not empty
    bool bErrOnTerminal = false; // standard error on a pseudo-terminal
};

// Waits at most a minute, then kills the child (the exit code is then -1).
ScanRun RunScanner(const ScanRequest& request);
