#pragma once

#include <QAbstractTableModel>

#include <cstddef>
#include <optional>
#include <unordered_map>
#include <vector>

class CDomainRecord;

// The score list's rows: the display sequence of record pointers (not
// owned). Cell texts are read from the records each time the view asks, so a
// redrawn row always shows the record's current values; nothing is copied
// into the model.
//
// Rows arrive with AddRows, a row's change is one dataChanged for that row,
// and sort() reorders the rows as a layout change, so the selection and the
// current row follow their records.
class CScoreListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // "No", the domain, then one column per metric in the metric table's
    // order.
    enum EColumn : int {
        ColumnNumber = 0,
        ColumnDomain = 1,
        ColumnFirstMetric = 2,
    };
    static int ColumnCount();
    static int MetricColumn(std::size_t nMetric);
    // The metric a column shows; none for "No", the domain and past the last.
    static std::optional<std::size_t> MetricOfColumn(int nColumn);
    // The column's header: a built-in metric's is its id as the string table
    // words it in the active language; another metric's is its id.
    static QString ColumnHeader(int nColumn);
    // Whether the column puts its smallest value first (the domain, a rank).
    static bool SortsAscending(int nColumn);

    explicit CScoreListModel(QObject* pParent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation,
                        int nRole = Qt::DisplayRole) const override;
    // Orders the rows by the column in its one fixed direction (the order
    // asked for is not used); "No" and columns past the last change nothing.
    void sort(int nColumn, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The text of one cell: the row's number, its domain, its PageRank text, and
    // its other metric texts once the row is scanned.
    QString CellText(int nRow, int nColumn) const;
    const std::vector<CDomainRecord*>& Rows() const { return m_arrRows; }
    // Appends the records as rows, in one insertion.
    void AddRows(const std::vector<CDomainRecord*>& records);
    // Redraws only the record's row, where the list shows it.
    void UpdateRow(const CDomainRecord* pRecord);
    void RemoveAllRows();

private:
    // What became of a metric cell: its tooltip (empty for a cell that was
    // not asked or waits for its scan), and whether it is drawn as failed.
    QString CellToolTip(int nRow, int nColumn) const;
    bool IsFailedCell(int nRow, int nColumn) const;
    void IndexRows(std::size_t nFrom);
    // The record shown in a metric cell and the cell's metric, or null.
    const CDomainRecord* MetricCell(int nRow, int nColumn, std::size_t& nMetric) const;

    std::vector<CDomainRecord*> m_arrRows;
    // Where each record is in m_arrRows, so that a report about one record
    // redraws one row.
    std::unordered_map<const CDomainRecord*, int> m_mapRowOf;
};
