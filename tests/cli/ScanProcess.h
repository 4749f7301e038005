#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Runs tallyvine-scan as a child process and collects what it wrote.
struct ScanRun {
    int nExitCode = -1;
    std::string strOut;
    std::string strErr;
};

struct ScanRequest {
    ScanRequest(std::vector<std::string> argsIn, std::string strStdinIn,
                std::string strServiceHostIn, bool bErrOnTerminalIn)
        : args(std::move(argsIn)), strStdin(std::move(strStdinIn)),
          strServiceHost(std::move(strServiceHostIn)), bErrOnTerminal(bErrOnTerminalIn) {}

    std::vector<std::string> args;
    std::string strStdin;
    std::string strServiceHost;  // TALLYVINE_SERVICE_HOST, when not empty
    bool bErrOnTerminal = false; // standard error on a pseudo-terminal
    // More environment variables, "NAME=value", each in place of the
    // inherited one of that name.
    std::vector<std::string> env;
    // Runs once the child started, while it runs (to signal it, say).
    std::function<void(pid_t pid)> pfnStarted;
    std::chrono::seconds timeout = std::chrono::minutes(1);
    // When above 0: the largest file the scanner may write, in blocks of
    // 512 bytes (a full disk that binds root too), with SIGXFSZ ignored.
    int nFileSizeBlocks = 0;
};

// Waits at most the request's time-out, then kills the child (the exit code
// is then -1).
ScanRun RunScanner(const ScanRequest& request);
