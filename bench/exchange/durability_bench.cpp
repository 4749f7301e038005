// The cost of durability when a scan writes its rows as they end: a million
// CSV rows, each appended to FILE.part with its own write, with the
// once-a-second fdatasync and without it (one sync at the end), against the
// whole-file export at the end that the scanner used before. Prints rows per
// second, side by side in one run.
//
//   tallyvine_durability_bench [FOLDER]   (default: the current folder; use a
//                                          folder on the disk to be measured)
#include "core/CRecordStore.h"
#include "exchange/CCsvExporter.h"
#include "exchange/CPartFile.h"
#include "tests/support/Metrics.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace {

constexpr std::size_t kRows = 1'000'000;

void Fill(CRecordStore& store) {
    for (std::size_t i = 0; i < kRows; ++i) {
        CDomainRecord* pRecord = store.AddDomain("host" + std::to_string(i) + ".example");
        pRecord->SetMetric(Metric::PR, std::to_string(i % 10));
        pRecord->SetMetric(Metric::GSite, std::to_string(i * 7919 % 100000) + ",000");
        pRecord->SetMetric(Metric::Alexa, std::to_string(i + 1));
        pRecord->SetMetric(Metric::BSite, std::to_string(i % 977) + ",123");
    }
}

double Seconds(const std::function<bool()>& pfnRun) {
    const auto tStart = std::chrono::steady_clock::now();
    if (!pfnRun()) {
        std::fprintf(stderr, "a write failed\n");
        return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
}

// Every row appended on its own, as the scanner does when a row's scan ends.
bool AppendRows(const CRecordStore& store, const CCsvExporter& exporter, const std::string& strPath,
                std::chrono::milliseconds syncEvery) {
    std::filesystem::remove(strPath + ".part");
    CPartFile part(strPath, syncEvery);
    if (part.Create() != CPartFile::EOpen::Opened || !part.Append(exporter.HeaderLine(), 0)) {
        return false;
    }
    bool bWritten = true;
    std::string strLine;
    store.ForEachRecord([&](CDomainRecord& record) {
        strLine.clear();
        exporter.AppendRecordLine(record, strLine);
        bWritten = bWritten && part.Append(strLine, 1);
    });
    return bWritten && part.Finish();
}

void Report(const char* pszName, double dSeconds) {
    std::printf("%-52s %7.3f s %12.0f rows/s\n", pszName, dSeconds,
                static_cast<double>(kRows) / dSeconds);
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : ".";
    const std::string strPath = (folder / "durability-bench.csv").string();
    CRecordStore store;
    Fill(store);
    const CCsvExporter exporter;

    std::printf("%zu CSV rows to %s\n", kRows, strPath.c_str());
    Report("whole file at the end (export, 1 MiB blocks)",
           Seconds([&] { return exporter.ExportCsv(store, strPath); }));
    Report("a write per row, fdatasync once a second",
           Seconds([&] { return AppendRows(store, exporter, strPath, std::chrono::seconds(1)); }));
    Report("a write per row, fdatasync only at the end",
           Seconds([&] { return AppendRows(store, exporter, strPath, {}); }));
    std::filesystem::remove(strPath);
    return 0;
}
