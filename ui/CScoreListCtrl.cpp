#include "ui/CScoreListCtrl.h"

#include "core/CMetricTable.h"
#include "exchange/ColumnSort.h"
#include "ui/CScoreListModel.h"
#include "ui/CWaitCursor.h"

#include <QHeaderView>
#include <QTimer>

namespace {

int ColumnWidth(int nColumn) {
    if (nColumn < kFirstMetricColumn) {
        return nColumn == 0 ? 40 : 100;
    }
    return CMetricTable::At(static_cast<std::size_t>(nColumn - kFirstMetricColumn)).nColumnWidth;
}

// The direction each column sorts in, as the header's mark shows it.
Qt::SortOrder MarkOrder(int nColumn) {
    return SortsAscending(nColumn) ? Qt::AscendingOrder : Qt::DescendingOrder;
}

} // namespace

CScoreListCtrl::CScoreListCtrl(QWidget* pParent)
    : QTableView(pParent), m_pModel(new CScoreListModel(this)), m_pRefreshTimer(new QTimer(this)) {
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

    m_pRefreshTimer->setObjectName(QStringLiteral("refreshTimer"));
    m_pRefreshTimer->setInterval(kRefreshMilliseconds);
    connect(m_pRefreshTimer, &QTimer::timeout, this, &CScoreListCtrl::Refresh);
    m_pRefreshTimer->start();
}

CScoreListCtrl::~CScoreListCtrl() = default;

std::vector<CDomainRecord*>& CScoreListCtrl::Rows() {
    return m_pModel->Rows();
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
    if (nColumn <= 0) {
        return;
    }
    CWaitCursor wait;
    // The list shows no row while the sequence is reordered.
    m_pModel->SetItemCount(0);
    ::SortByColumn(Rows(), nColumn);
    m_pModel->RowsReordered();
    SetSortMark(nColumn);
    Refresh();
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

void CScoreListCtrl::Refresh() {
    m_pModel->SetItemCount(static_cast<int>(Rows().size()));
}
