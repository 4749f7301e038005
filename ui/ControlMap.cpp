#include "ui/ControlMap.h"

#include "core/CMetricTable.h"
#include "ui/CScoreListCtrl.h"
#include "ui/CScoreListModel.h"

#include <QFile>
#include <QHeaderView>
#include <QTextStream>
#include <QWidget>

namespace {

void WriteRect(QTextStream& out, const QString& strName, const QRect& rect) {
    out << strName << ' ' << rect.x() << ' ' << rect.y() << ' ' << rect.width() << ' '
        << rect.height() << '\n';
}

QString ColumnId(int nColumn) {
    if (const std::optional<std::size_t> nMetric = CScoreListModel::MetricOfColumn(nColumn)) {
        return QString::fromStdString(CMetricTable::At(*nMetric).strId);
    }
    return nColumn == CScoreListModel::ColumnNumber ? QStringLiteral("No")
                                                    : QStringLiteral("Domain");
}

void WriteList(QTextStream& out, const QWidget& window, const CScoreListCtrl& list) {
    const QHeaderView* pHeader = list.horizontalHeader();
    const QWidget* pHeaderPort = pHeader->viewport();
    for (int nColumn = 0; nColumn < CScoreListModel::ColumnCount(); ++nColumn) {
        if (pHeader->isSectionHidden(nColumn)) {
            continue;
        }
        const QRect section(pHeader->sectionViewportPosition(nColumn), 0,
                            pHeader->sectionSize(nColumn), pHeaderPort->height());
        WriteRect(out, list.objectName() + QStringLiteral(":column:") + ColumnId(nColumn),
                  QRect(pHeaderPort->mapTo(&window, section.topLeft()), section.size()));
    }
    const QWidget* pRows = list.viewport();
    const QRect row(0, 0, pRows->width(), list.verticalHeader()->defaultSectionSize());
    WriteRect(out, list.objectName() + QStringLiteral(":row"),
              QRect(pRows->mapTo(&window, row.topLeft()), row.size()));
}

} // namespace

bool WriteControlMap(const QWidget& window, const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        return false;
    }
    QTextStream out(&file);
    for (const QWidget* pControl : window.findChildren<QWidget*>()) {
        // Qt's own inner widgets carry names of their own; ours start "m_".
        if (!pControl->objectName().startsWith(QLatin1String("m_")) || !pControl->isVisible()) {
            continue;
        }
        WriteRect(out, pControl->objectName(),
                  QRect(pControl->mapTo(&window, QPoint(0, 0)), pControl->size()));
        if (const auto* pList = qobject_cast<const CScoreListCtrl*>(pControl)) {
            WriteList(out, window, *pList);
        }
    }
    out.flush();
    return file.error() == QFileDevice::NoError;
}
