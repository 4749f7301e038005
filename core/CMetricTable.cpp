#include "core/CMetricTable.h"

#include "core/BuiltInSources.h"
#include "core/CSourceFile.h"
#include "queries/TextHelpers.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

// A source from a file asks after every built-in one, in table order.
constexpr int kFirstFilePlace = 1'000'000;

struct STable {
    std::vector<SMetric> metrics;
    std::vector<std::string> errors;
    std::size_t nPageRank = 0;
    std::vector<std::size_t> queryOrder;
    std::vector<std::size_t> exportOrder;
};

std::string Upper(std::string_view strText) {
    std::string strUpper(strText);
    for (char& c : strUpper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return strUpper;
}

std::filesystem::path UserSourceFolder() {
    const char* pszConfig = std::getenv("XDG_CONFIG_HOME");
    if (pszConfig != nullptr && *pszConfig == '/') {
        return std::filesystem::path(pszConfig) / "tallyvine" / "sources";
    }
    const char* pszHome = std::getenv("HOME");
    if (pszHome == nullptr || *pszHome == '\0') {
        return {};
    }
    return std::filesystem::path(pszHome) / ".config" / "tallyvine" / "sources";
}

// The user's definition files, in the order of their names: every entry
// named *.toml, so that one that is no file is named rather than skipped.
std::vector<std::filesystem::path> UserSourceFiles() {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    const std::filesystem::path folder = UserSourceFolder();
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) {
        return files;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".toml") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Adds the metric that read() reads, or the reason it could not.
template <typename Reader>
void Add(STable& table, const std::string& strOrigin, std::set<std::string>& takenIds,
         Reader read) {
    SMetric metric;
    metric.nQueryPlace = kFirstFilePlace + static_cast<int>(table.metrics.size());
    std::string strError;
    if (!read(metric, strError)) {
        // Printed to terminals: a file name or a quoted key may hold control characters.
        table.errors.push_back(EscapeControls(strError));
        return;
    }
    metric.strOrigin = strOrigin;
    takenIds.insert(Upper(metric.strId));
    table.metrics.push_back(std::move(metric));
}

// The metric indexes ordered by a place; those with a negative place left out.
std::vector<std::size_t> OrderBy(const std::vector<SMetric>& metrics, int SMetric::*pPlace) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < metrics.size(); ++i) {
        if (metrics[i].*pPlace >= 0) {
            order.push_back(i);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return metrics[a].*pPlace < metrics[b].*pPlace;
    });
    return order;
}

// Sources that read one list the same way share its download and its
// database, which holds the value columns of them all.
void ShareLists(std::vector<SMetric>& metrics) {
    for (SMetric& metric : metrics) {
        if (!metric.listSource.IsSet()) {
            continue;
        }
        std::vector<SListColumn> columns;
        const std::string strKey = metric.listSource.list.FormatKey();
        for (const SMetric& other : metrics) {
            const SListColumn& column = other.listSource.value;
            if (other.listSource.IsSet() && other.listSource.list.FormatKey() == strKey &&
                std::find(columns.begin(), columns.end(), column) == columns.end()) {
                columns.push_back(column);
            }
        }
        metric.listSource.list.valueColumns = std::move(columns);
    }
}

std::unique_ptr<STable> LoadTable() {
    auto pTable = std::make_unique<STable>();
    std::set<std::string> takenIds;
    for (const SEmbeddedFile& file : BuiltInSources()) {
        Add(*pTable, {}, takenIds, [&](SMetric& metric, std::string& strError) {
            return CSourceFile::Read(file.strText, file.pszName, takenIds, metric, strError,
                                     CSourceFile::EOrigin::BuiltIn);
        });
    }
    for (const std::filesystem::path& path : UserSourceFiles()) {
        Add(*pTable, path.string(), takenIds, [&](SMetric& metric, std::string& strError) {
            return CSourceFile::ReadFile(path, takenIds, metric, strError);
        });
    }
    ShareLists(pTable->metrics);
    const auto it = std::find_if(pTable->metrics.begin(), pTable->metrics.end(),
                                 [](const SMetric& m) { return m.bAlwaysAsked; });
    pTable->nPageRank = static_cast<std::size_t>(it - pTable->metrics.begin());
    pTable->queryOrder = OrderBy(pTable->metrics, &SMetric::nQueryPlace);
    pTable->exportOrder = OrderBy(pTable->metrics, &SMetric::nExportPlace);
    return pTable;
}

std::unique_ptr<STable>& TablePointer() {
    static std::unique_ptr<STable> pTable = LoadTable();
    return pTable;
}

const STable& Table() {
    return *TablePointer();
}

} // namespace

const std::vector<SMetric>& CMetricTable::Metrics() {
    return Table().metrics;
}

const std::vector<std::string>& CMetricTable::LoadErrors() {
    return Table().errors;
}

void CMetricTable::Reload() {
    TablePointer() = LoadTable();
}

std::optional<std::size_t> CMetricTable::Find(std::string_view strId) {
    const std::string strWanted = Upper(strId);
    const std::vector<SMetric>& metrics = Metrics();
    for (std::size_t i = 0; i < metrics.size(); ++i) {
        if (Upper(metrics[i].strId) == strWanted) {
            return i;
        }
    }
    return std::nullopt;
}

std::size_t CMetricTable::PageRankMetric() {
    return Table().nPageRank;
}

const std::vector<std::size_t>& CMetricTable::QueryOrder() {
    return Table().queryOrder;
}

const std::vector<std::size_t>& CMetricTable::ExportOrder() {
    return Table().exportOrder;
}
