#include "bench/lists/BenchLists.h"

#include <archive.h>
#include <archive_entry.h>
#include <httplib.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>

namespace bench_lists {

namespace {

std::uint64_t Mix(std::uint64_t n) {
    n += 0x9E3779B97F4A7C15ULL;
    n = (n ^ (n >> 30)) * 0xBF58476D1CE4E5B9ULL;
    n = (n ^ (n >> 27)) * 0x94D049BB133111EBULL;
    return n ^ (n >> 31);
}

// Streams lines produced by pfnLine into an archive at strPath.
void WriteArchive(const std::string& strPath, bool bZip, const std::string& strMember,
                  std::size_t nLines, const std::function<std::string(std::size_t)>& pfnLine) {
    archive* pArchive = archive_write_new();
    if (bZip) {
        archive_write_set_format_zip(pArchive);
    } else {
        archive_write_add_filter_gzip(pArchive);
        archive_write_set_format_raw(pArchive);
    }
    archive_write_set_bytes_in_last_block(pArchive, 1);
    archive_write_open_filename(pArchive, strPath.c_str());
    archive_entry* pEntry = archive_entry_new();
    archive_entry_set_pathname(pEntry, strMember.c_str());
    archive_entry_set_filetype(pEntry, AE_IFREG);
    archive_entry_set_perm(pEntry, 0644);
    archive_write_header(pArchive, pEntry);
    std::string strBlock;
    for (std::size_t i = 0; i < nLines; ++i) {
        strBlock += pfnLine(i);
        if (strBlock.size() > 1 << 20 || i + 1 == nLines) {
            archive_write_data(pArchive, strBlock.data(), strBlock.size());
            strBlock.clear();
        }
    }
    archive_entry_free(pEntry);
    archive_write_close(pArchive);
    archive_write_free(pArchive);
}

} // namespace

std::string NameAt(std::size_t n) {
    static const char* const kSuffixes[] = {".com", ".net", ".org", ".co.uk", ".de", ".com.br"};
    std::uint64_t nHash = Mix(n);
    std::string strName;
    for (int i = 0; i < 6 + static_cast<int>(nHash % 7); ++i) {
        strName += static_cast<char>('a' + (nHash >> (i * 5)) % 26);
    }
    // The index keeps every name distinct.
    strName += std::to_string(n % 1000);
    return strName + kSuffixes[(nHash >> 40) % 6];
}

void WriteRankList(const std::string& strPath, std::size_t nRows, bool bZip) {
    WriteArchive(strPath, bZip, "top-1m.csv", nRows,
                 [](std::size_t i) { return std::to_string(i + 1) + "," + NameAt(i) + "\r\n"; });
}

void WriteMillionList(const std::string& strPath, std::size_t nRows) {
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    std::fputs("GlobalRank,TldRank,Domain,TLD,RefSubNets,RefIPs,IDN_Domain,IDN_TLD,"
               "PrevGlobalRank,PrevTldRank,PrevRefSubNets,PrevRefIPs\n",
               pFile);
    for (std::size_t i = 0; i < nRows; ++i) {
        // Every other name of the rank list, and names of its own.
        const std::string strName = NameAt(i % 2 == 0 ? i : i + 50'000'000);
        const std::size_t nSubnets = 400'000 / (i + 1) + 1;
        std::fprintf(pFile, "%zu,%zu,%s,com,%zu,%zu,%s,com,%zu,%zu,%zu,%zu\n", i + 1, i / 3 + 1,
                     strName.c_str(), nSubnets, nSubnets + 7, strName.c_str(), i + 2, i / 3 + 1,
                     nSubnets, nSubnets + 7);
    }
    std::fclose(pFile);
}

SServer ServeFolder(const std::string& strFolder) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return {};
    }
    SServer server;
    server.pid = ::fork();
    if (server.pid == 0) {
        ::close(fds[0]);
        httplib::Server http;
        http.set_mount_point("/", strFolder);
        const int nPort = http.bind_to_any_port("127.0.0.1");
        ::write(fds[1], &nPort, sizeof nPort) == sizeof nPort ? void() : _exit(1);
        ::close(fds[1]);
        http.listen_after_bind();
        _exit(0);
    }
    ::close(fds[1]);
    if (::read(fds[0], &server.nPort, sizeof server.nPort) != sizeof server.nPort) {
        server.nPort = 0;
    }
    ::close(fds[0]);
    // The server listens as soon as it has bound; a moment lets it start.
    usleep(100'000);
    return server;
}

void StopServer(const SServer& server) {
    if (server.pid > 0) {
        ::kill(server.pid, SIGTERM);
        ::waitpid(server.pid, nullptr, 0);
    }
}

double PeakMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double SecondsSince(long long nStartNs) {
    return static_cast<double>(NowNs() - nStartNs) / 1e9;
}

} // namespace bench_lists
