#include "ScanProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

extern char** environ;

namespace {

// A temporary file, removed when dropped.
class TempFile {
public:
    TempFile() {
        char szName[] = "/tmp/tallyvine-scan-test-XXXXXX";
        m_fd = mkstemp(szName);
        m_strPath = szName;
    }
    ~TempFile() {
        close(m_fd);
        unlink(m_strPath.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int Fd() const { return m_fd; }

    std::string ReadAll() const {
        std::string strBytes;
        char buffer[4096];
        ssize_t nRead = 0;
        for (off_t nAt = 0; (nRead = pread(m_fd, buffer, sizeof buffer, nAt)) > 0; nAt += nRead) {
            strBytes.append(buffer, static_cast<std::size_t>(nRead));
        }
        return strBytes;
    }

private:
    int m_fd = -1;
    std::string m_strPath;
};

// Everything a pseudo-terminal's master side holds once its child is gone.
std::string DrainTerminal(int fdMaster) {
    std::string strBytes;
    char buffer[4096];
    ssize_t nRead = 0;
    fcntl(fdMaster, F_SETFL, O_NONBLOCK);
    while ((nRead = read(fdMaster, buffer, sizeof buffer)) > 0) {
        strBytes.append(buffer, static_cast<std::size_t>(nRead));
    }
    return strBytes;
}

int OpenTerminal(std::string& strSlave) {
    const int fdMaster = posix_openpt(O_RDWR | O_NOCTTY);
    if (fdMaster < 0 || grantpt(fdMaster) != 0 || unlockpt(fdMaster) != 0) {
        return -1;
    }
    strSlave = ptsname(fdMaster);
    return fdMaster;
}

// Whether "NAME=value" sets a variable that one of the texts sets.
bool SetIn(const std::string& strVariable, const std::vector<std::string>& set) {
    const std::string strName = strVariable.substr(0, strVariable.find('=') + 1);
    for (const std::string& strSet : set) {
        if (strSet.rfind(strName, 0) == 0) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> Environment(const ScanRequest& request) {
    std::vector<std::string> set = request.env;
    set.push_back("TALLYVINE_SERVICE_HOST=" + request.strServiceHost);
    std::vector<std::string> env;
    for (char** p = environ; *p != nullptr; ++p) {
        if (!SetIn(*p, set)) {
            env.emplace_back(*p);
        }
    }
    if (!request.strServiceHost.empty()) {
        env.push_back(set.back());
    }
    env.insert(env.end(), request.env.begin(), request.env.end());
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

int WaitForExit(pid_t pid, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int nStatus = 0;
    while (waitpid(pid, &nStatus, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &nStatus, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

} // namespace

ScanRun RunScanner(const ScanRequest& request) {
    TempFile in;
    TempFile out;
    TempFile err;
    if (write(in.Fd(), request.strStdin.data(), request.strStdin.size()) < 0) {
        return {};
    }
    std::string strSlave;
    const int fdMaster = request.bErrOnTerminal ? OpenTerminal(strSlave) : -1;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    lseek(in.Fd(), 0, SEEK_SET);
    posix_spawn_file_actions_adddup2(&actions, in.Fd(), 0);
    posix_spawn_file_actions_adddup2(&actions, out.Fd(), 1);
    if (fdMaster >= 0) {
        posix_spawn_file_actions_addopen(&actions, 2, strSlave.c_str(), O_RDWR | O_NOCTTY, 0);
    } else {
        posix_spawn_file_actions_adddup2(&actions, err.Fd(), 2);
    }

    std::vector<std::string> argv{TALLYVINE_SCAN_EXE};
    if (request.nFileSizeBlocks > 0) {
        // An ignored signal stays ignored across exec.
        argv = {"/bin/sh", "-c",
                "trap '' XFSZ; ulimit -f " + std::to_string(request.nFileSizeBlocks) +
                    "; exec \"$0\" \"$@\"",
                TALLYVINE_SCAN_EXE};
    }
    argv.insert(argv.end(), request.args.begin(), request.args.end());
    std::vector<std::string> env = Environment(request);
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> envPointers = Pointers(env);

    pid_t pid = 0;
    const int nSpawn = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argvPointers.data(),
                                   envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    ScanRun run;
    if (nSpawn == 0) {
        if (request.pfnStarted) {
            request.pfnStarted(pid);
        }
        run.nExitCode = WaitForExit(pid, request.timeout);
    }
    run.strOut = out.ReadAll();
    run.strErr = fdMaster >= 0 ? DrainTerminal(fdMaster) : err.ReadAll();
    if (fdMaster >= 0) {
        close(fdMaster);
    }
    return run;
}
