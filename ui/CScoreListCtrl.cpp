#include "ui/CScoreListCtrl.h"

#include "core/CMetricTable.h"
#include "ui/CScoreListModel.h"
#include "ui/CWaitCursor.h"

#include <QHeaderView>

namespace {

int ColumnWidth(int nColumn) {
    const std::optional<std::size_t> nMetric = CScoreListModel::MetricOfColumn(nColumn);
    if (!nMetric) {
        return nColumn == CScoreListModel::ColumnNumber ? 40 : 100;
    }
    return CMetricTable::At(*nMetric).nColumnWidth;
}

// The direction each column sorts in, as the header's mark shows it.
Qt::SortOrder MarkOrder(int nColumn) {
    return CScoreListModel::SortsAscending(nColumn) ? Qt::AscendingOrder : Qt::DescendingOrder;
}

} // namespace

CScoreListCtrl::CScoreListCtrl(QWidget* pParent)
    : QTableView(pParent), m_pModel(new CScoreListModel(this)) {
    setModel(m_pModel);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    // Tab leaves the list, as it leaves every other control.
    setTabKeyNavigation(false);
    setAlternatingRowColors(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    // Row heights are fixed and rows are never measured, so a million rows
    // cost no more to show than a screenful.
    QHeaderView* pRows = verticalHeader();
    pRows->setVisible(false);
    pRows->setSectionResizeMode(QHeaderView::Fixed);
    pRows->setDefaultSectionSize(fontMetrics().height() + 6);

    SetUpColumns();
}

void CScoreListCtrl::SetUpColumns() {
    QHeaderView* pHeader = horizontalHeader();
    pHeader->setSectionResizeMode(QHeaderView::Interactive);
    pHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pHeader->setHighlightSections(false);
    pHeader->setSectionsClickable(true);
    pHeader->setSortIndicatorShown(false);
    pHeader->setStretchLastSection(false);
    pHeader->setMinimumSectionSize(20);
    for (int nColumn = 0; nColumn < CScoreListModel::ColumnCount(); ++nColumn) {
        pHeader->resizeSection(nColumn, ColumnWidth(nColumn));
    }
    connect(pHeader, &QHeaderView::sectionClicked, this, &CScoreListCtrl::OnHeaderClicked);
}

void CScoreListCtrl::OnHeaderClicked(int nSection) {
    // The header moves its mark on every click by itself; only the sort
    // decides where it goes.
    SetSortMark(m_nSortMark);
    SortByColumn(nSection);
}

void CScoreListCtrl::SortByColumn(int nColumn) {
    if (nColumn <= CScoreListModel::ColumnNumber) {
        return;
    }
    {
        CWaitCursor wait;
        m_pModel->sort(nColumn, MarkOrder(nColumn));
    }
    SetSortMark(nColumn);
    if (currentIndex().isValid()) {
        scrollTo(currentIndex());
    }
}

void CScoreListCtrl::SetSortMark(int nColumn) {
    QHeaderView* pHeader = horizontalHeader();
    if (nColumn < 0 || nColumn >= CScoreListModel::ColumnCount()) {
        m_nSortMark = -1;
        pHeader->setSortIndicatorShown(false);
        pHeader->setSortIndicator(-1, Qt::AscendingOrder);
        return;
    }
    m_nSortMark = nColumn;
    pHeader->setSortIndicator(nColumn, MarkOrder(nColumn));
    pHeader->setSortIndicatorShown(true);
}
