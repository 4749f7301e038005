#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

// Helpers of the list benchmarks: generated lists of a real list's shape and
// a local server for them, so that nothing is downloaded from anywhere.
namespace bench_lists {

// The nth name of the generated lists: pseudo-random labels under a few
// suffixes, as unordered as a real ranking's names.
std::string NameAt(std::size_t n);

// Writes a list of Tranco's shape ("rank,name" CRLF, no header) with nRows
// rows to strPath, zipped as member top-1m.csv when bZip, else gzip.
void WriteRankList(const std::string& strPath, std::size_t nRows, bool bZip);
// Writes a list of Majestic's shape (a header, twelve columns, hosts).
void WriteMillionList(const std::string& strPath, std::size_t nRows);

// A child process serving the folder's files over HTTP on 127.0.0.1.
struct SServer {
    pid_t pid = -1;
    int nPort = 0;
    std::string Url(const std::string& strName) const {
        return "http://127.0.0.1:" + std::to_string(nPort) + "/" + strName;
    }
};
SServer ServeFolder(const std::string& strFolder);
void StopServer(const SServer& server);

// The peak resident memory of this process so far, in MiB (getrusage).
double PeakMiB();
// The processor time of this process so far, in seconds.
double CpuSeconds();
double SecondsSince(long long nStartNs);
long long NowNs();

} // namespace bench_lists
