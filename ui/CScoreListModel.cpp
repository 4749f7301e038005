#include "ui/CScoreListModel.h"

#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"
#include "exchange/ColumnSort.h"
#include "ui/CStringTable.h"
#include "ui/CellStateText.h"

#include <QColor>

namespace {

constexpr int kNumberColumn = 0;
constexpr int kDomainColumn = 1;

// A metric without a header text of the string table shows its id.
QString HeaderText(int nColumn) {
    if (nColumn == kNumberColumn) {
        return CStringTable::Load(IDS_COL_NO);
    }
    if (nColumn == kDomainColumn) {
        return CStringTable::Load(IDS_COL_DOMAIN);
    }
    const SMetric& metric =
        CMetricTable::At(static_cast<std::size_t>(nColumn - kFirstMetricColumn));
    return metric.nHeaderStringId != 0 ? CStringTable::Load(metric.nHeaderStringId)
                                       : QString::fromStdString(metric.strId);
}

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
    return SortColumnCount();
}

int CScoreListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_nItemCount;
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
    if (nRow < 0 || static_cast<std::size_t>(nRow) >= m_arrRows.size() ||
        nColumn < kFirstMetricColumn || nColumn >= ColumnCount()) {
        return nullptr;
    }
    const CDomainRecord* pRecord = m_arrRows[static_cast<std::size_t>(nRow)];
    // A row waiting for its scan shows nothing of its cells but PageRank's.
    nMetric = static_cast<std::size_t>(nColumn - kFirstMetricColumn);
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
        return HeaderText(nSection);
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
    if (nColumn == kNumberColumn) {
        return QString::number(nRow + 1);
    }
    if (nColumn == kDomainColumn) {
        return FromBytes(pRecord->GetDomain());
    }
    const auto nMetric = static_cast<std::size_t>(nColumn - kFirstMetricColumn);
    if (!pRecord->ShowsCell(nMetric)) {
        return QString();
    }
    return FromBytes(pRecord->GetMetric(nMetric));
}

void CScoreListModel::AppendRecord(CDomainRecord* pRecord) {
    m_mapRowOf[pRecord] = static_cast<int>(m_arrRows.size());
    m_arrRows.push_back(pRecord);
}

void CScoreListModel::RemoveAllRows() {
    m_arrRows.clear();
    m_mapRowOf.clear();
    SetItemCount(0);
}

void CScoreListModel::RowsReordered() {
    m_mapRowOf.clear();
    m_mapRowOf.reserve(m_arrRows.size());
    for (std::size_t i = 0; i < m_arrRows.size(); ++i) {
        m_mapRowOf[m_arrRows[i]] = static_cast<int>(i);
    }
}

void CScoreListModel::RedrawRecord(const CDomainRecord* pRecord) {
    const auto it = m_mapRowOf.find(pRecord);
    if (it != m_mapRowOf.end() && it->second < m_nItemCount) {
        emit dataChanged(index(it->second, 0), index(it->second, ColumnCount() - 1),
                         {Qt::DisplayRole, Qt::ToolTipRole, Qt::BackgroundRole});
    }
}

void CScoreListModel::SetItemCount(int nCount) {
    if (m_nDeferDepth > 0) {
        m_nDeferredCount = nCount;
        return;
    }
    ApplyItemCount(nCount);
}

void CScoreListModel::ApplyItemCount(int nCount) {
    nCount = std::max(nCount, 0);
    if (nCount == m_nItemCount) {
        RedrawAll();
    } else if (nCount == 0) {
        beginResetModel();
        m_nItemCount = 0;
        endResetModel();
    } else if (nCount > m_nItemCount) {
        beginInsertRows(QModelIndex(), m_nItemCount, nCount - 1);
        m_nItemCount = nCount;
        endInsertRows();
        RedrawAll();
    } else {
        beginRemoveRows(QModelIndex(), nCount, m_nItemCount - 1);
        m_nItemCount = nCount;
        endRemoveRows();
        RedrawAll();
    }
}

void CScoreListModel::RedrawAll() {
    if (m_nItemCount > 0) {
        emit dataChanged(index(0, 0), index(m_nItemCount - 1, ColumnCount() - 1),
                         {Qt::DisplayRole});
    }
}

void CScoreListModel::BeginDeferCount() {
    ++m_nDeferDepth;
}

void CScoreListModel::EndDeferCount() {
    if (m_nDeferDepth == 0 || --m_nDeferDepth > 0) {
        return;
    }
    if (m_nDeferredCount >= 0) {
        const int nCount = m_nDeferredCount;
        m_nDeferredCount = -1;
        ApplyItemCount(nCount);
    }
}
