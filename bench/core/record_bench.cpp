// Imports 1 000 000 names into a record store, fills every metric of every
// row with a realistic text (counts such as "1,230,000", ranks, PageRank
// digits) as a scan does, one query at a time, and prints the peak memory of
// the whole list and the time to free it. Each layout runs in a process of
// its own, so that each peak is its own:
//   - records: the records as they are, every cell's text and state in one
//     small block;
//   - ten texts: the same store, with each row's values held as ten
//     std::string objects allocated together (the layout before);
//   - failed cells: the records, with four cells of every row failed as a
//     scan of refusing services leaves them (three answered with an error
//     page, one not connected), each with the detail the query gives.
//   tallyvine_record_bench [ROWS]

#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"
#include "core/CRecordStore.h"
#include "exchange/CListImporter.h"
#include "net/ShownAddress.h"
#include "queries/CMetricQuery.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The peak resident memory of this process, in MiB.
double StatusMiB(const char* pszField) {
    std::ifstream status("/proc/self/status");
    std::string strLine;
    while (std::getline(status, strLine)) {
        if (strLine.rfind(pszField, 0) == 0) {
            return std::strtod(strLine.c_str() + std::strlen(pszField), nullptr) / 1024.0;
        }
    }
    return 0;
}

double PeakMiB() {
    return StatusMiB("VmHWM:");
}

std::string WithCommas(unsigned long nValue) {
    std::string strDigits = std::to_string(nValue);
    for (int n = static_cast<int>(strDigits.size()) - 3; n > 0; n -= 3) {
        strDigits.insert(static_cast<std::size_t>(n), ",");
    }
    return strDigits;
}

// What a scan stores for a metric: a PageRank digit, a rank, or a count of
// a realistic size.
std::string RealisticText(std::size_t nMetric, std::mt19937& random) {
    const SMetric& metric = CMetricTable::At(nMetric);
    if (metric.sortKey == ESortKey::PageRank) {
        return std::to_string(random() % 11);
    }
    if (metric.sortKey == ESortKey::Number) {
        return std::to_string(1 + random() % 30'000'000);
    }
    static constexpr unsigned long kScales[] = {100, 10'000, 1'000'000, 100'000'000};
    return WithCommas(random() % kScales[random() % 4]);
}

std::string WriteList(std::size_t nRows) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tallyvine-record-bench-" + std::to_string(getpid()) + ".txt");
    std::ofstream out(path, std::ios::binary);
    std::mt19937 random(11);
    for (std::size_t i = 0; i < nRows; ++i) {
        std::string strName;
        for (std::size_t n = 5 + random() % 12; n > 0; --n) {
            strName += static_cast<char>('a' + random() % 26);
        }
        out << strName << i << ".com\n";
    }
    return path.string();
}

// The layout before: ten texts allocated together, apart from the record.
struct STenTexts {
    std::array<std::string, 10> arrTexts;
};

struct SFigures {
    double dImportPeakMiB = 0;
    double dImportedMiB = 0;
    double dPeakMiB = 0;
    double dFillSeconds = 0;
    double dFreeSeconds = 0;
    std::size_t nRows = 0;
};

enum class ELayout { Records, TenTexts, FailedCells };

// The four cells of a row that fail in the failed-cells layout, with how.
struct SFailure {
    const char* pszId;
    EFailReason reason;
    int nHttpStatus;
};
constexpr SFailure kFailures[] = {
    {"GSite", EFailReason::Blocked, 429},
    {"GLink", EFailReason::HttpStatus, 503},
    {"BSite", EFailReason::NoMatch, 200},
    {"BLink", EFailReason::Connect, 0},
};

// What the query path reports for a failed cell of the row.
SQueryResult FailedResult(const SFailure& failure, std::size_t nMetric,
                          const std::string& strDomain, CMetricQuery& query, std::mt19937& random) {
    SQueryResult result;
    result.state.outcome = EOutcome::Failed;
    result.state.reason = failure.reason;
    result.state.nHttpStatus = failure.nHttpStatus;
    if (failure.reason == EFailReason::Connect) {
        result.state.strDetail = "Failed to connect to www.baidu.com port 80 after " +
                                 std::to_string(random() % 3000) + " ms: Connection refused";
    } else {
        const std::string strToken = std::to_string(random());
        result.state.strDetail =
            ShownAddress(query.RequestUrl(CMetricTable::At(nMetric).query, strDomain, strToken));
    }
    return result;
}

// The failure of each metric in the layout; null for a metric that gets a
// value.
std::vector<const SFailure*> FailuresOf(ELayout layout) {
    std::vector<const SFailure*> failures(CMetricTable::Count(), nullptr);
    for (const SFailure& failure : kFailures) {
        if (layout == ELayout::FailedCells) {
            failures[CMetricTable::Find(failure.pszId).value()] = &failure;
        }
    }
    return failures;
}

SFigures Run(const std::string& strList, ELayout layout) {
    const bool bTenTexts = layout == ELayout::TenTexts;
    SFigures figures;
    auto pStore = std::make_unique<CRecordStore>();
    CRecordStore& store = *pStore;
    CListImporter importer(
        [&store](const std::string& strDomain) { return store.AddDomain(strDomain) != nullptr; });
    figures.nRows = importer.ImportFile(strList).nAdded;
    figures.dImportPeakMiB = PeakMiB();
    figures.dImportedMiB = StatusMiB("VmRSS:");

    std::vector<std::unique_ptr<STenTexts>> arrTen;
    std::mt19937 random(5);
    CMetricQuery query;
    const std::vector<const SFailure*> failures = FailuresOf(layout);
    const auto start = Clock::now();
    store.ForEachRecord([&](CDomainRecord& record) {
        if (bTenTexts) {
            auto pTexts = std::make_unique<STenTexts>();
            for (std::size_t n = 0; n < pTexts->arrTexts.size(); ++n) {
                pTexts->arrTexts[n] = RealisticText(n, random);
            }
            arrTen.push_back(std::move(pTexts));
            return;
        }
        record.BeginScan(1'765'000'000);
        const std::string strDomain(record.GetDomain());
        for (std::size_t n = 0; n < CMetricTable::Count(); ++n) {
            const SFailure* pFailure = failures[n];
            SQueryResult result;
            if (pFailure != nullptr) {
                result = FailedResult(*pFailure, n, strDomain, query, random);
            } else {
                result.strValue = RealisticText(n, random);
                result.state.outcome = EOutcome::Value;
                result.state.nHttpStatus = 200;
            }
            record.SetResult(n, result, true, 1'765'000'000);
        }
    });
    figures.dFillSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures.dPeakMiB = PeakMiB();

    const auto freeStart = Clock::now();
    arrTen.clear();
    pStore.reset();
    figures.dFreeSeconds = std::chrono::duration<double>(Clock::now() - freeStart).count();
    return figures;
}

// Runs one layout in a child process and reads its figures back.
SFigures RunApart(const std::string& strList, ELayout layout) {
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const SFigures figures = Run(strList, layout);
        const ssize_t nWritten = write(fds[1], &figures, sizeof figures);
        _exit(nWritten == static_cast<ssize_t>(sizeof figures) ? 0 : 1);
    }
    close(fds[1]);
    SFigures figures;
    if (read(fds[0], &figures, sizeof figures) != static_cast<ssize_t>(sizeof figures)) {
        std::fprintf(stderr, "the measuring process failed\n");
        std::exit(1);
    }
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t nRows = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1'000'000;
    const std::string strList = WriteList(nRows);
    std::printf("%zu rows, %zu metrics each, every metric filled\n\n", nRows,
                CMetricTable::Count());
    std::printf("%-12s %12s %12s %10s %10s %10s\n", "layout", "import peak", "imported", "peak MiB",
                "fill s", "free s");
    for (const ELayout layout : {ELayout::Records, ELayout::TenTexts, ELayout::FailedCells}) {
        const SFigures figures = RunApart(strList, layout);
        static constexpr const char* kNames[] = {"records", "ten texts", "failed cells"};
        std::printf("%-12s %12.1f %12.1f %10.1f %10.2f %10.3f\n", kNames[static_cast<int>(layout)],
                    figures.dImportPeakMiB, figures.dImportedMiB, figures.dPeakMiB,
                    figures.dFillSeconds, figures.dFreeSeconds);
    }
    std::printf("\ntargets for the records: peak under 200 MB (190.7 MiB), freeing under 0.1 s;\n"
                "with four failed cells a row: peak under 250 MB (238.4 MiB)\n");
    std::filesystem::remove(strList);
    return 0;
}
