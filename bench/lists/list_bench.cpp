// Builds the index of a generated list of Tranco's shape, downloaded from a
// local server, and looks names up in it; prints the time of each step, the
// peak memory of the build (getrusage) and the database's size:
//   tallyvine_list_bench [ROWS [LOOKUPS]]
// ROWS defaults to 1 000 000; 100 000 000 shows a list of the crawl's size
// (several GB of disk and minutes).

#include "bench/lists/BenchLists.h"
#include "lists/CListCache.h"
#include "lists/CListLookup.h"
#include "net/CWebClient.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace bench_lists;

int main(int argc, char** argv) {
    const std::size_t nRows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    const std::size_t nLookups = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1'000'000;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tallyvine-list-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / "www");
    const bool bZip = nRows <= 10'000'000;
    const std::string strFile = bZip ? "top-1m.csv.zip" : "ranks.csv.gz";
    long long nStart = NowNs();
    WriteRankList((folder / "www" / strFile).string(), nRows, bZip);
    std::printf("list of %zu rows written (%s, %.1f MB) in %.2f s\n", nRows, strFile.c_str(),
                static_cast<double>(std::filesystem::file_size(folder / "www" / strFile)) / 1e6,
                SecondsSince(nStart));

    const SServer server = ServeFolder((folder / "www").string());
    CWebClient::GlobalInit();
    SListDefinition definition;
    definition.strUrl = server.Url(strFile);
    definition.strMember = "top-1m.csv";
    definition.nameColumn = {2, {}};
    definition.valueColumns = {{1, {}}};
    definition.nMaxBytes = std::size_t{8} << 30;
    CListCache cache(folder / "cache");
    const double dPeakBefore = PeakMiB();
    nStart = NowNs();
    const double dCpuBefore = CpuSeconds();
    const SListStatus status = cache.Refresh(definition, true, definition.strUrl, nullptr);
    const double dBuild = SecondsSince(nStart);
    StopServer(server);
    if (status.bFailed) {
        std::printf("refresh failed: %s\n", status.strDetail.c_str());
        return 1;
    }
    std::printf("download and index build: %.2f s, %.2f s of processor time (target under 5 s "
                "for 1M rows)\n",
                dBuild, CpuSeconds() - dCpuBefore);
    std::printf("peak memory: %.1f MiB (%.1f MiB before the build; target under 100 MB)\n",
                PeakMiB(), dPeakBefore);
    std::printf("database: %.1f MB for %lld rows\n",
                static_cast<double>(std::filesystem::file_size(cache.DatabasePath(definition))) /
                    1e6,
                static_cast<long long>(cache.Info(definition)->nRows));

    std::string strError;
    auto pLookup = CListLookup::Open(cache.DatabasePath(definition), {1, {}}, strError);
    nStart = NowNs();
    const double dCpuLookups = CpuSeconds();
    std::size_t nFound = 0;
    for (std::size_t i = 0; i < nLookups; ++i) {
        // Half the names are in the list (as subdomains), half are not.
        const std::size_t nName = (i * 7919) % (2 * nRows);
        const std::string strDomain =
            nName < nRows ? "www." + NameAt(nName) : NameAt(nName + 1'000'000'000);
        nFound += pLookup->Find(strDomain, EListLookup::Registrable, true) ? 1 : 0;
    }
    const double dLookups = SecondsSince(nStart);
    std::printf("%zu lookups (%zu found): %.2f s (%.2f s of processor time), %.1f us each\n",
                nLookups, nFound, dLookups, CpuSeconds() - dCpuLookups,
                dLookups * 1e6 / static_cast<double>(nLookups));
    std::filesystem::remove_all(folder);
    return 0;
}
