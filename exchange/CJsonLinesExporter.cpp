#include "exchange/CJsonLinesExporter.h"

#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

Json CellObject(const SCellState& state, const std::string& strValue) {
    Json cell;
    cell["outcome"] = OutcomeName(state.outcome);
    if (state.outcome == EOutcome::Failed) {
        cell["reason"] = ReasonName(state.reason);
    }
    if (state.nHttpStatus != 0) {
        cell["http_status"] = state.nHttpStatus;
    }
    if (!strValue.empty()) {
        cell["value"] = strValue;
    }
    if (!state.strDetail.empty()) {
        cell["detail"] = state.strDetail;
    }
    return cell;
}

// The value whose name a member holds. Every value of the enum is tried, so
// that reasons added later are read back too.
template <typename Enum>
bool FromName(const Json& name, std::string_view (*pfnName)(Enum), Enum& value) {
    if (!name.is_string()) {
        return false;
    }
    for (int n = 0; n <= 0xFF; ++n) {
        if (pfnName(static_cast<Enum>(n)) == name.get<std::string>()) {
            value = static_cast<Enum>(n);
            return true;
        }
    }
    return false;
}

bool ReadCell(const Json& cell, SQueryResult& result) {
    if (!cell.is_object() ||
        !FromName(cell.value("outcome", Json()), OutcomeName, result.state.outcome)) {
        return false;
    }
    if (result.state.outcome == EOutcome::Failed &&
        !FromName(cell.value("reason", Json()), ReasonName, result.state.reason)) {
        return false;
    }
    const Json status = cell.value("http_status", Json(0));
    const Json value = cell.value("value", Json(""));
    const Json detail = cell.value("detail", Json(""));
    if (!status.is_number_integer() || !value.is_string() || !detail.is_string()) {
        return false;
    }
    result.state.nHttpStatus = status.get<int>();
    result.strValue = value.get<std::string>();
    result.state.strDetail = detail.get<std::string>();
    return true;
}

} // namespace

bool CJsonLinesExporter::ReadRecordLine(std::string_view strLine, std::string& strDomain,
                                        std::vector<SQueryResult>& cells, std::string& strError) {
    const Json line = Json::parse(strLine, nullptr, false);
    if (line.is_discarded() || !line.is_object() || !line.contains("domain") ||
        !line["domain"].is_string() || !line.contains("metrics") || !line["metrics"].is_object()) {
        strError = "not a line of the JSON Lines export";
        return false;
    }
    strDomain = line["domain"].get<std::string>();
    const Json& metrics = line["metrics"];
    std::vector<std::string> ids;
    for (const auto& item : metrics.items()) {
        ids.push_back(item.key());
    }
    std::vector<std::string> known;
    for (std::size_t nMetric = 0; nMetric < CMetricTable::Count(); ++nMetric) {
        known.push_back(CMetricTable::At(nMetric).strId);
    }
    if (ids != known) {
        strError = "other sources than this run's";
        return false;
    }
    cells.assign(CMetricTable::Count(), SQueryResult());
    for (std::size_t nMetric = 0; nMetric < known.size(); ++nMetric) {
        if (!ReadCell(metrics[known[nMetric]], cells[nMetric])) {
            strError = "a cell of " + known[nMetric] + " that is not the export's";
            return false;
        }
    }
    return true;
}

std::string CJsonLinesExporter::RecordLine(const CDomainRecord& record) {
    Json metrics = Json::object();
    for (std::size_t nMetric = 0; nMetric < CMetricTable::Count(); ++nMetric) {
        metrics[CMetricTable::At(nMetric).strId] =
            CellObject(record.GetCellState(nMetric), record.GetMetric(nMetric));
    }
    Json line;
    line["domain"] = record.GetDomain();
    line["metrics"] = std::move(metrics);
    return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

CLineExport CJsonLinesExporter::Lines() const {
    return CLineExport(
        {}, [](const CDomainRecord& record, std::string& strOut) { strOut += RecordLine(record); },
        m_pfnFilter);
}

bool CJsonLinesExporter::ExportJsonLines(const CRecordStore& store, const std::string& strPath,
                                         std::string* pError) const {
    return Lines().ToFile(store, strPath, pError);
}

bool CJsonLinesExporter::WriteJsonLines(const CRecordStore& store, int fd,
                                        std::string* pError) const {
    return Lines().ToDescriptor(store, fd, pError);
}
