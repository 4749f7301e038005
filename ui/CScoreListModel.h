#pragma once

#include <QAbstractTableModel>

#include <unordered_map>
#include <vector>

class CDomainRecord;

// The score list's rows: the display sequence m_arrRows of record pointers
// (not owned) and the item count the view is told. Cell texts are read from
// the records each time the view asks, so a redrawn row always shows the
// record's current values; nothing is copied into the model.
//
// The item count follows m_arrRows only when SetItemCount says so, as the
// handlers of the window's messages do.
class CScoreListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // "No", the domain and one column per metric.
    static int ColumnCount();

    explicit CScoreListModel(QObject* pParent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation,
                        int nRole = Qt::DisplayRole) const override;

    // The text of one cell: the row's number, its domain, its PageRank text, and
    // its other metric texts once the row is scanned.
    QString CellText(int nRow, int nColumn) const;
    // What became of a metric cell: its tooltip (empty for a cell that was
    // not asked or waits for its scan), and whether it is drawn as failed.
    QString CellToolTip(int nRow, int nColumn) const;
    bool IsFailedCell(int nRow, int nColumn) const;

    // Redraws only the record's row, where the list shows it.
    void RedrawRecord(const CDomainRecord* pRecord);
    // Tells the model that the display sequence was reordered.
    void RowsReordered();

    std::vector<CDomainRecord*>& Rows() { return m_arrRows; }
    const std::vector<CDomainRecord*>& Rows() const { return m_arrRows; }
    void AppendRecord(CDomainRecord* pRecord);
    // Empties m_arrRows and sets the item count to 0.
    void RemoveAllRows();

    int ItemCount() const { return m_nItemCount; }
    // Tells the view that the list has nCount rows and redraws it.
    void SetItemCount(int nCount);

    // While a deferral is open, SetItemCount only remembers the last count;
    // it is applied when the outermost deferral closes. Lets a batch of a
    // million appended rows reach the view as one insertion.
    void BeginDeferCount();
    void EndDeferCount();

private:
    void ApplyItemCount(int nCount);
    void RedrawAll();
    // The record shown in a metric cell and the cell's metric, or null.
    const CDomainRecord* MetricCell(int nRow, int nColumn, std::size_t& nMetric) const;

    std::vector<CDomainRecord*> m_arrRows;
    // Where each record is in m_arrRows, so that a message about one record
    // redraws one row.
    std::unordered_map<const CDomainRecord*, int> m_mapRowOf;
    int m_nItemCount = 0;
    int m_nDeferDepth = 0;
    int m_nDeferredCount = -1;
};
