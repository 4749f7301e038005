// tallyvine-scan over a million names with TrancoList and Majestic ticked
// and both lists cached, end to end (reading the names, the lookups, writing
// the CSV), beside the time the per-name Tranco source would take at its one
// request a second. The lists are generated and served locally, and put in
// the cache by tallyvine-scan --update-lists first:
//   tallyvine_scan_bench [NAMES]

#include "bench/lists/BenchLists.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace bench_lists;

namespace {

// Runs the scanner with the arguments; its exit status, or -1.
int RunScanner(const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        std::string strProgram = TALLYVINE_SCAN;
        argv.push_back(strProgram.data());
        std::vector<std::string> copies = args;
        for (std::string& strArg : copies) {
            argv.push_back(strArg.data());
        }
        argv.push_back(nullptr);
        ::execv(strProgram.c_str(), argv.data());
        _exit(127);
    }
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t nNames = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tallyvine-scan-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / "www");
    WriteRankList((folder / "www" / "top-1m.csv.zip").string(), 1'000'000, true);
    WriteMillionList((folder / "www" / "majestic_million.csv").string(), 1'000'000);
    {
        // Names of the lists, as subdomains, and names of neither.
        std::ofstream names(folder / "names.txt");
        for (std::size_t i = 0; i < nNames; ++i) {
            names << (i % 3 == 2 ? "www." + NameAt(i) : NameAt(i % 2 == 0 ? i : 2'000'000'000 + i))
                  << '\n';
        }
    }
    const SServer server = ServeFolder((folder / "www").string());
    setenv("XDG_CACHE_HOME", (folder / "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    setenv("TALLYVINE_SERVICE_HOST", ("127.0.0.1:" + std::to_string(server.nPort)).c_str(), 1);
    long long nStart = NowNs();
    const int nUpdated = RunScanner({"--quiet", "--update-lists=TrancoList,Majestic"});
    std::printf("both lists downloaded and indexed: %.2f s (status %d)\n", SecondsSince(nStart),
                nUpdated);
    StopServer(server);
    // The scan itself needs no server: both lists are fresh in the cache.
    nStart = NowNs();
    const int nScanned =
        RunScanner({"--quiet", "--metrics", "TrancoList,Majestic", "--output",
                    (folder / "out.csv").string(), (folder / "names.txt").string()});
    const double dScan = SecondsSince(nStart);
    std::printf("tallyvine-scan over %zu names, TrancoList and Majestic cached: %.2f s (status "
                "%d; target under 10 s)\n",
                nNames, dScan, nScanned);
    const double dPerName = static_cast<double>(nNames);
    std::printf("the per-name Tranco source at one request a second: %.0f s (%.1f days)\n",
                dPerName, dPerName / 86400.0);
    std::printf("CSV written: %.1f MB\n",
                static_cast<double>(std::filesystem::file_size(folder / "out.csv")) / 1e6);
    std::filesystem::remove_all(folder);
    return nUpdated == 0 && nScanned == 0 ? 0 : 1;
}
