// The list exchange at a million rows: importing a list file into the index,
// writing the CSV, and sorting the display sequence by a count column.
//
// Targets: import under 1.5 s (reported against grep | sort -u on the same
// file), export under 1 s, sort by GSite under 0.5 s. The import runs on two
// lists: names in no order, and numbered names on one long stem.
#include "core/CQueryManager.h"
#include "exchange/CCsvExporter.h"
#include "exchange/CListImporter.h"
#include "exchange/ColumnSort.h"
#include "tests/support/Metrics.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kRows = 1'000'000;

// No request leaves the machine: the services sit on a closed local port,
// and the worker pauses after its first row until the controller goes.
struct SQuietList {
    CRecordStore store;
    CQueryManager manager{store, nullptr, CServiceHosts::AllOn("127.0.0.1:9")};

    SQuietList() {
        for (std::size_t i = 0; i < Metric::Count; ++i) {
            manager.SetMetricFlag(i, false);
        }
        manager.SetInterval(10000);
    }
};

std::string RandomName(std::mt19937& random) {
    static const char* const kTlds[] = {".com", ".net", ".org", ".cn", ".de", ".co.uk"};
    std::string strName = random() % 4 == 0 ? "www." : "";
    const std::size_t nLength = 5 + random() % 12;
    for (std::size_t i = 0; i < nLength; ++i) {
        strName += static_cast<char>('a' + random() % 26);
    }
    if (random() % 8 == 0) {
        strName += '-' + std::to_string(random() % 1000);
    }
    return strName + kTlds[random() % 6];
}

std::filesystem::path TempListPath(const char* szKind) {
    return std::filesystem::temp_directory_path() /
           ("tallyvine-bench-" + std::string(szKind) + "-" + std::to_string(getpid()) + ".txt");
}

// A list as users keep them: mostly names in no order, some repeated, a few
// addresses and lines with blanks.
const std::string& ListFile() {
    static const std::string strPath = [] {
        const auto path = TempListPath("list");
        std::mt19937 random(42);
        std::string strList;
        std::vector<std::string> names;
        for (std::size_t i = 0; i < kRows; ++i) {
            const unsigned nKind = random() % 100;
            if (nKind == 0 && !names.empty()) {
                strList += names[random() % names.size()];
            } else if (nKind == 1) {
                strList += "http://" + RandomName(random) + "/index.html";
            } else if (nKind == 2) {
                strList += RandomName(random) + " ";
            } else {
                names.push_back(RandomName(random));
                strList += names.back();
            }
            strList += random() % 10 == 0 ? "\r\n" : "\n";
        }
        std::ofstream(path, std::ios::binary) << strList;
        return path.string();
    }();
    return strPath;
}

// A generated list: one stem and a number, in no order. Each name shares its
// first eight bytes with about a hundred others.
const std::string& NumberedListFile() {
    static const std::string strPath = [] {
        const auto path = TempListPath("numbered");
        std::string strList;
        for (std::size_t i = 0; i < kRows; ++i) {
            strList.append("site").append(std::to_string(i * 7919 % 10'000'019));
            strList.append(".example.com\n");
        }
        std::ofstream(path, std::ios::binary) << strList;
        return path.string();
    }();
    return strPath;
}

void RemoveListFiles() {
    std::filesystem::remove(ListFile());
    std::filesystem::remove(NumberedListFile());
}

// The reference: the shell tools doing the same check and de-duplication.
double GrepSortSeconds(const std::string& strList) {
    const std::string strCommand =
        "grep -E '^[0-9A-Za-z.-]+$' " + strList + " | sort -u > /dev/null";
    const auto start = std::chrono::steady_clock::now();
    const int nStatus = std::system(strCommand.c_str());
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return nStatus == 0 ? elapsed.count() : 0.0;
}

void BM_ImportMillionLines(benchmark::State& state, const std::string& (*pfnList)()) {
    const std::string& strList = pfnList();
    const double dReference = GrepSortSeconds(strList);
    std::size_t nAdded = 0;
    double dTotal = 0;
    for (auto _ : state) {
        auto pList = std::make_unique<SQuietList>();
        CQueryManager& manager = pList->manager;
        const auto start = std::chrono::steady_clock::now();
        nAdded = CListImporter([&manager](const std::string& strDomain) {
                     return manager.AddDomain(strDomain);
                 })
                     .ImportFile(strList)
                     .nAdded;
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        dTotal += elapsed.count();
        state.PauseTiming();
        pList.reset();
        state.ResumeTiming();
    }
    state.counters["added"] = static_cast<double>(nAdded);
    state.counters["grep_sort_s"] = dReference;
    if (dReference > 0) {
        state.counters["ratio_to_grep_sort"] = dTotal / state.iterations() / dReference;
    }
}
BENCHMARK_CAPTURE(BM_ImportMillionLines, unordered, &ListFile)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_ImportMillionLines, numbered, &NumberedListFile)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// A scanned list: every row holds the values of the default metrics.
const CRecordStore& ScannedList() {
    static const std::unique_ptr<SQuietList> pScanned = [] {
        auto pList = std::make_unique<SQuietList>();
        std::mt19937 random(7);
        for (std::size_t i = 0; i < kRows; ++i) {
            const std::string strDomain = RandomName(random) + std::to_string(i);
            CDomainRecord* pRecord = pList->store.AddDomain(strDomain);
            pRecord->SetMetric(Metric::PR, std::to_string(random() % 11));
            pRecord->SetMetric(Metric::Alexa, std::to_string(random() % 30'000'000));
            pRecord->SetMetric(Metric::GSite,
                               std::string("1,") + std::to_string(100 + random() % 900) + ",000");
            pRecord->SetMetric(Metric::BSite, std::to_string(random() % 1000));
        }
        return pList;
    }();
    return pScanned->store;
}

void BM_ExportCsvMillionRows(benchmark::State& state) {
    const CRecordStore& list = ScannedList();
    const std::string strPath = ListFile() + ".csv";
    const CCsvExporter exporter;
    for (auto _ : state) {
        std::string strError;
        if (!exporter.ExportCsv(list, strPath, &strError)) {
            state.SkipWithError(strError.c_str());
        }
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(strPath));
    std::filesystem::remove(strPath);
}
BENCHMARK(BM_ExportCsvMillionRows)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SortMillionRowsByGSite(benchmark::State& state) {
    std::vector<CDomainRecord*> arrRows;
    ScannedList().ForEachRecord([&](CDomainRecord& record) { arrRows.push_back(&record); });
    std::mt19937 random(3);
    for (auto _ : state) {
        state.PauseTiming();
        std::shuffle(arrRows.begin(), arrRows.end(), random);
        state.ResumeTiming();
        SortByMetric(arrRows, Metric::GSite);
    }
}
BENCHMARK(BM_SortMillionRowsByGSite)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveListFiles();
    return 0;
}
