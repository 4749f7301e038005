#include "ui/CScoreListModel.h"

#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"
#include "exchange/ColumnSort.h"
#include "ui/CStringTable.h"

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
    if (nRole != Qt::DisplayRole || !index.isValid()) {
        return QVariant();
    }
    return CellText(index.row(), index.column());
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
    // A row waiting for its scan shows no values but its PageRank, even when it still
    // holds those of an earlier scan.
    if (nMetric != CMetricTable::PageRankMetric() && pRecord->GetPageRank() < 0) {
        return QString();
    }
    return FromBytes(pRecord->GetMetric(nMetric));
}

void CScoreListModel::AppendRecord(CDomainRecord* pRecord) {
    m_arrRows.push_back(pRecord);
}

void CScoreListModel::RemoveAllRows() {
    m_arrRows.clear();
    SetItemCount(0);
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
