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

} // namespace

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
