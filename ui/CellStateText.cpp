#include "ui/CellStateText.h"

#include "core/CMetricTable.h"
#include "ui/CStringTable.h"

#include <QDateTime>
#include <QLocale>

namespace {

// " (HTTP 429)" when a status came.
QString StatusSuffix(int nHttpStatus) {
    return nHttpStatus != 0 ? QStringLiteral(" (HTTP %1)").arg(nHttpStatus) : QString();
}

// An answer's detail on a line of its own: which name was asked, when it
// was not the row's.
QString DetailLine(const SCellState& state) {
    return state.strDetail.empty() ? QString()
                                   : QLatin1Char('\n') + QString::fromLocal8Bit(state.strDetail);
}

} // namespace

QString ReasonText(EFailReason reason) {
    if (reason == EFailReason::None) {
        return QString();
    }
    if (reason == EFailReason::Unavailable) {
        return CStringTable::Load(IDS_REASON_UNAVAILABLE);
    }
    const int nOffset = static_cast<int>(reason) - static_cast<int>(EFailReason::Dns);
    return CStringTable::Load(IDS_REASON_FIRST + nOffset);
}

QString CellStateText(const QString& strMetric, const SCellState& state) {
    switch (state.outcome) {
    case EOutcome::Failed: {
        QString strText = strMetric + QStringLiteral(": ") + ReasonText(state.reason) +
                          StatusSuffix(state.nHttpStatus);
        if (!state.strDetail.empty()) {
            strText += QLatin1Char('\n') + QString::fromLocal8Bit(state.strDetail);
        }
        return strText;
    }
    case EOutcome::None:
        return CStringTable::Load(IDS_NOTHING_FOUND) + DetailLine(state);
    case EOutcome::Value: {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(state.nFetchedAt);
        return CStringTable::Format(IDS_FETCHED_AT, QLocale().toString(at, QLocale::ShortFormat)) +
               DetailLine(state);
    }
    case EOutcome::NotAsked:
        break;
    }
    return QString();
}

namespace {

// "suspended until 14:05" while the metric's source is suspended, else empty.
QString SuspensionText(const SPassSummary& summary, std::size_t nMetric) {
    if (nMetric >= summary.arrSuspendedUntil.size() || summary.arrSuspendedUntil[nMetric] == 0) {
        return QString();
    }
    const QDateTime until = QDateTime::fromSecsSinceEpoch(summary.arrSuspendedUntil[nMetric]);
    return CStringTable::Format(IDS_SUSPENDED_UNTIL, until.toString(QStringLiteral("HH:mm")));
}

} // namespace

QString PassSummaryText(const SPassSummary& summary) {
    const std::size_t nFailed = summary.ListFailedCells();
    if (nFailed == 0) {
        return QString();
    }
    QString strText = CStringTable::Format(IDS_CELLS_FAILED, QString::number(nFailed));
    for (std::size_t nMetric = 0; nMetric < summary.arrList.size(); ++nMetric) {
        const QString strId = QString::fromStdString(CMetricTable::At(nMetric).strId);
        const QString strSuspended = SuspensionText(summary, nMetric);
        const SMetricTally& tally = summary.arrList[nMetric];
        if (!tally.AllFailed()) {
            if (!strSuspended.isEmpty()) {
                strText += QStringLiteral("; ") + strId + QStringLiteral(": ") + strSuspended;
            }
            continue;
        }
        const SCellState& last = tally.lastFailure;
        QString strReason = ReasonText(last.reason);
        if (last.nHttpStatus != 0) {
            strReason += QStringLiteral(", HTTP %1").arg(last.nHttpStatus);
        }
        if (!strSuspended.isEmpty()) {
            strReason += QStringLiteral(", ") + strSuspended;
        }
        strText += QStringLiteral("; ") + CStringTable::Format(IDS_ALL_FAILED, strId) +
                   QStringLiteral(" (") + strReason + QLatin1Char(')');
    }
    return strText;
}
