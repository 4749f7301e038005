#pragma once

#include <QTableView>

#include <vector>

class CDomainRecord;
class CScoreListModel;
class QTimer;

// The score list: a table over CScoreListModel with the twelve columns of the
// score list, grid lines and whole-row selection, redrawn every 10 seconds.
// A click on a column header sorts the rows by that column (not "No"), each
// column in its one fixed direction, and marks that column's header.
//
// Built for a million rows: fixed row heights, fixed column widths, and the
// rows are never measured.
class CScoreListCtrl : public QTableView {
    Q_OBJECT

public:
    static constexpr int kRefreshMilliseconds = 10000;

    explicit CScoreListCtrl(QWidget* pParent = nullptr);
    ~CScoreListCtrl() override;

    CScoreListModel* Model() const { return m_pModel; }
    std::vector<CDomainRecord*>& Rows();

    // Reorders the rows by the column, marks its header and numbers the rows
    // afresh. Columns 0 and below, and those past the last, sort nothing.
    void SortByColumn(int nColumn);
    // Marks one column's header with the sort mark and clears every other;
    // -1 clears them all.
    void SetSortMark(int nColumn);
    // The marked column, or -1.
    int SortMark() const { return m_nSortMark; }

    // Sets the item count to the length of the rows, which redraws the list:
    // what the 10-second timer does.
    void Refresh();

private:
    void SetUpColumns();
    void OnHeaderClicked(int nSection);

    CScoreListModel* m_pModel;
    QTimer* m_pRefreshTimer;
    int m_nSortMark = -1;
};
