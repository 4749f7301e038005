#pragma once

#include <QTableView>

class CScoreListModel;

// The score list: a table over CScoreListModel with grid lines and whole-row
// selection. A click on a column header sorts the rows by that column (not
// "No"), each column in its one fixed direction, and marks that column's
// header; the selected rows stay selected and the current row stays in view.
//
// Built for a million rows: fixed row heights, fixed column widths, and the
// rows are never measured.
class CScoreListCtrl : public QTableView {
    Q_OBJECT

public:
    explicit CScoreListCtrl(QWidget* pParent = nullptr);

    CScoreListModel* Model() const { return m_pModel; }

    // Reorders the rows by the column, marks its header and numbers the rows
    // afresh. Columns 0 and below, and those past the last, sort nothing.
    void SortByColumn(int nColumn);
    // Marks one column's header with the sort mark and clears every other;
    // -1 clears them all.
    void SetSortMark(int nColumn);
    // The marked column, or -1.
    int SortMark() const { return m_nSortMark; }

private:
    void SetUpColumns();
    void OnHeaderClicked(int nSection);

    CScoreListModel* m_pModel;
    int m_nSortMark = -1;
};
