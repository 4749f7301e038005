#include "ui/CScoreListModel.h"

#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"
#include "exchange/ColumnSort.h"
#include "ui/CStringTable.h"
#include "ui/CellStateText.h"

#include <QColor>

namespace {

// A failed cell's tint: the palette's own red, faint, so that the text stays
// readable on a light and on a dark palette.
QColor FailedTint() {
    QColor tint(Qt::red);
    tint.setAlpha(48);
    return tint;
}

// Texts are stored as bytes; the list shows each byte as one character.
QString FromBytes(std::string_view strBytes) {
    return QString::fromLatin1(strBytes.data(), static_cast<qsizetype>(strBytes.size()));
}

} // namespace

CScoreListModel::CScoreListModel(QObject* pParent) : QAbstractTableModel(pParent) {}

int CScoreListModel::ColumnCount() {
    return ColumnFirstMetric + static_cast<int>(CMetricTable::Count());
}

int CScoreListModel::MetricColumn(std::size_t nMetric) {
    return ColumnFirstMetric + static_cast<int>(nMetric);
}

std::optional<std::size_t> CScoreListModel::MetricOfColumn(int nColumn) {
    if (nColumn < ColumnFirstMetric || nColumn >= ColumnCount()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(nColumn - ColumnFirstMetric);
}

QString CScoreListModel::ColumnHeader(int nColumn) {
    if (nColumn == ColumnNumber) {
        return CStringTable::Load(IDS_COL_NO);
    }
    if (nColumn == ColumnDomain) {
        return CStringTable::Load(IDS_COL_DOMAIN);
    }
    const SMetric& metric = CMetricTable::At(*MetricOfColumn(nColumn));
    return metric.strOrigin.empty() ? CStringTable::LoadText(metric.strId)
                                    : QString::fromStdString(metric.strId);
}

bool CScoreListModel::SortsAscending(int nColumn) {
    const std::optional<std::size_t> nMetric = MetricOfColumn(nColumn);
    return nColumn == ColumnDomain || (nMetric && CMetricTable::At(*nMetric).bAscending);
}

int CScoreListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_arrRows.size());
}

int CScoreListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount();
}

QVariant CScoreListModel::data(const QModelIndex& index, int nRole) const {
    if (!index.isValid()) {
        return QVariant();
    }
    switch (nRole) {
    case Qt::DisplayRole:
        return CellText(index.row(), index.column());
    case Qt::ToolTipRole: {
        const QString strTip = CellToolTip(index.row(), index.column());
        return strTip.isEmpty() ? QVariant() : QVariant(strTip);
    }
    case Qt::BackgroundRole:
        return IsFailedCell(index.row(), index.column()) ? QVariant(FailedTint()) : QVariant();
    default:
        return QVariant();
    }
}

const CDomainRecord* CScoreListModel::MetricCell(int nRow, int nColumn,
                                                 std::size_t& nMetric) const {
    const std::optional<std::size_t> metric = MetricOfColumn(nColumn);
    if (nRow < 0 || static_cast<std::size_t>(nRow) >= m_arrRows.size() || !metric) {
        return nullptr;
    }
    const CDomainRecord* pRecord = m_arrRows[static_cast<std::size_t>(nRow)];
    // A row waiting for its scan shows nothing of its cells but PageRank's.
    nMetric = *metric;
    if (pRecord == nullptr || !pRecord->ShowsCell(nMetric)) {
        return nullptr;
    }
    return pRecord;
}

bool CScoreListModel::IsFailedCell(int nRow, int nColumn) const {
    std::size_t nMetric = 0;
    const CDomainRecord* pRecord = MetricCell(nRow, nColumn, nMetric);
    return pRecord != nullptr && pRecord->GetCellState(nMetric).outcome == EOutcome::Failed;
}

QString CScoreListModel::CellToolTip(int nRow, int nColumn) const {
    std::size_t nMetric = 0;
    const CDomainRecord* pRecord = MetricCell(nRow, nColumn, nMetric);
    if (pRecord == nullptr) {
        return QString();
    }
    return CellStateText(QString::fromStdString(CMetricTable::At(nMetric).strId),
                         pRecord->GetCellState(nMetric));
}

QVariant CScoreListModel::headerData(int nSection, Qt::Orientation orientation, int nRole) const {
    if (orientation != Qt::Horizontal || nSection < 0 || nSection >= ColumnCount()) {
        return QVariant();
    }
    if (nRole == Qt::DisplayRole) {
        return ColumnHeader(nSection);
    }
    if (nRole == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return QVariant();
}

QString CScoreListModel::CellText(int nRow, int nColumn) const {
    if (nRow < 0 || static_cast<std::size_t>(nRow) >= m_arrRows.size()) {
        return QString();
    }
    const CDomainRecord* pRecord = m_arrRows[static_cast<std::size_t>(nRow)];
    if (!pRecord || nColumn < 0 || nColumn >= ColumnCount()) {
        return QString();
    }
    if (nColumn == ColumnNumber) {
        return QString::number(nRow + 1);
    }
    if (nColumn == ColumnDomain) {
        return FromBytes(pRecord->GetDomain());
    }
    const std::size_t nMetric = *MetricOfColumn(nColumn);
    if (!pRecord->ShowsCell(nMetric)) {
        return QString();
    }
    return FromBytes(pRecord->GetMetric(nMetric));
}

void CScoreListModel::AddRows(const std::vector<CDomainRecord*>& records) {
    if (records.empty()) {
        return;
    }
    const std::size_t nFrom = m_arrRows.size();
    beginInsertRows(QModelIndex(), static_cast<int>(nFrom),
                    static_cast<int>(nFrom + records.size() - 1));
    m_arrRows.insert(m_arrRows.end(), records.begin(), records.end());
    IndexRows(nFrom);
    endInsertRows();
}

void CScoreListModel::RemoveAllRows() {
    if (m_arrRows.empty()) {
        return;
    }
    beginRemoveRows(QModelIndex(), 0, static_cast<int>(m_arrRows.size()) - 1);
    m_arrRows.clear();
    m_mapRowOf.clear();
    endRemoveRows();
}

void CScoreListModel::IndexRows(std::size_t nFrom) {
    m_mapRowOf.reserve(m_arrRows.size());
    for (std::size_t i = nFrom; i < m_arrRows.size(); ++i) {
        m_mapRowOf[m_arrRows[i]] = static_cast<int>(i);
    }
}

void CScoreListModel::UpdateRow(const CDomainRecord* pRecord) {
    const auto it = m_mapRowOf.find(pRecord);
    if (it != m_mapRowOf.end()) {
        emit dataChanged(index(it->second, 0), index(it->second, ColumnCount() - 1),
                         {Qt::DisplayRole, Qt::ToolTipRole, Qt::BackgroundRole});
    }
}

void CScoreListModel::sort(int nColumn, Qt::SortOrder) {
    const std::optional<std::size_t> nMetric = MetricOfColumn(nColumn);
    if (nColumn != ColumnDomain && !nMetric) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The selection and the current row hold persistent indexes: each one
    // follows its record to the record's new row.
    const QModelIndexList before = persistentIndexList();
    std::vector<const CDomainRecord*> arrHeld;
    arrHeld.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before) {
        arrHeld.push_back(m_arrRows[static_cast<std::size_t>(index.row())]);
    }
    if (nMetric) {
        SortByMetric(m_arrRows, *nMetric);
    } else {
        SortByDomain(m_arrRows);
    }
    IndexRows(0);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        after << index(m_mapRowOf.at(arrHeld[static_cast<std::size_t>(i)]), before[i].column());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
