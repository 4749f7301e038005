#include "ui/CTallyvineDlg.h"

#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "core/DomainValidation.h"
#include "exchange/CCsvExporter.h"
#include "exchange/CListImporter.h"
#include "ui/CAboutDlg.h"
#include "ui/CFileDialog.h"
#include "ui/CHyperLink.h"
#include "ui/CMessageBox.h"
#include "ui/CScoreListCtrl.h"
#include "ui/CScoreListModel.h"
#include "ui/CStringTable.h"
#include "ui/CWaitCursor.h"
#include "ui/CellStateText.h"
#include "ui/ControlIds.h"
#include "ui/ResourceInit.h"
#include "ui/TrayWindow.h"
#include "ui/VendorInfo.h"
#include "ui_CTallyvineDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QLocale>
#include <QMenu>
#include <QShortcut>
#include <QUrl>

#include <cstdio>

namespace {

std::string ToBytes(const QString& strText) {
    return strText.toUtf8().toStdString();
}

std::string ToPath(const QString& strPath) {
    return QFile::encodeName(strPath).toStdString();
}

} // namespace

CTallyvineDlg::CTallyvineDlg(const CServiceHosts& hosts, QWidget* pParent) : QDialog(pParent) {
    InitResources();
    m_pUi = std::make_unique<Ui::CTallyvineDlg>();
    m_pUi->setupUi(this);
    ApplyControlIds(this);
    // Caption, window menu, minimise and close boxes; no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // The icon, the ticked boxes and the fixed PageRank box come from the form.
    m_pUi->m_linkSite->PointTo(QString::fromLatin1(VendorInfo::kSiteUrl),
                               QString::fromLatin1(VendorInfo::kSiteHost));

    // The Donate button is its image and nothing else.
    QPushButton* pDonate = m_pUi->m_btnDonate;
    pDonate->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0px; }"));
    pDonate->setFixedSize(pDonate->iconSize());

    m_pQueryManager = std::make_unique<CQueryManager>(m_store, &m_scan, hosts);

    ConnectCommands();
    ConnectScan();
    CreateSourceBoxes();
    ReportSourceErrors();
    CreateTray();
    m_pUi->m_editDomain->setFocus();
}

CTallyvineDlg::~CTallyvineDlg() {
    // Stops the worker, cancels its request and waits for it before the
    // records and the scan signals go.
    m_pQueryManager.reset();
}

void CTallyvineDlg::CreateSourceBoxes() {
    // Chinese labels where the window speaks Chinese, as the language pack.
    const bool bChinese = QLocale::system().name() == QLatin1String("zh_CN");
    auto* pRow = new QHBoxLayout;
    for (std::size_t nMetric = 0; nMetric < CMetricTable::Count(); ++nMetric) {
        const SMetric& metric = CMetricTable::At(nMetric);
        if (MetricBox(nMetric) != nullptr) {
            continue;
        }
        const std::string& strLabel =
            bChinese && !metric.strLabelZhCN.empty() ? metric.strLabelZhCN : metric.strLabel;
        auto* pBox = new QCheckBox(QString::fromStdString(strLabel), this);
        pBox->setObjectName(QStringLiteral("m_checkSource") + QString::fromStdString(metric.strId));
        pBox->setChecked(metric.bDefault);
        m_mapSourceBoxes[nMetric] = pBox;
        // An extra source's column shows while the source is ticked.
        const int nColumn = CScoreListModel::MetricColumn(nMetric);
        ScoreList()->setColumnHidden(nColumn, !pBox->isChecked());
        connect(pBox, &QCheckBox::toggled, this,
                [this, nColumn](bool bOn) { ScoreList()->setColumnHidden(nColumn, !bOn); });
        pRow->addWidget(pBox);
    }
    if (m_mapSourceBoxes.empty()) {
        delete pRow;
        return;
    }
    pRow->addStretch();
    m_pUi->m_layoutMain->insertLayout(1, pRow);
    // The form's own order first, then the sources' boxes.
    QWidget* pLast = m_pUi->m_spinInterval;
    for (const auto& [nMetric, pBox] : m_mapSourceBoxes) {
        QWidget::setTabOrder(pLast, pBox);
        pLast = pBox;
    }
}

QCheckBox* CTallyvineDlg::MetricBox(std::size_t nMetric) const {
    const auto it = m_mapSourceBoxes.find(nMetric);
    if (it != m_mapSourceBoxes.end()) {
        return it->second;
    }
    // A definition file of the user's never takes over a box of the form.
    const SMetric& metric = CMetricTable::At(nMetric);
    if (!metric.strOrigin.empty()) {
        return nullptr;
    }
    return findChild<QCheckBox*>(QStringLiteral("m_check") + QString::fromStdString(metric.strId));
}

std::vector<std::size_t> CTallyvineDlg::TickedExtraMetrics() const {
    std::vector<std::size_t> arrMetrics;
    for (const auto& [nMetric, pBox] : m_mapSourceBoxes) {
        if (pBox->isChecked() && CMetricTable::ExportedWhenTicked(nMetric)) {
            arrMetrics.push_back(nMetric);
        }
    }
    return arrMetrics;
}

void CTallyvineDlg::ReportSourceErrors() {
    const std::vector<std::string>& errors = CMetricTable::LoadErrors();
    for (const std::string& strError : errors) {
        std::fprintf(stderr, "tallyvine: %s\n", strError.c_str());
    }
    if (!errors.empty()) {
        SetStatus(
            CStringTable::Format(IDS_SOURCE_LEFT_OUT, QString::fromLocal8Bit(errors.front())));
    }
}

void CTallyvineDlg::ConnectCommands() {
    connect(m_pUi->m_btnAdd, &QPushButton::clicked, this, &CTallyvineDlg::OnAdd);
    connect(m_pUi->m_btnImport, &QPushButton::clicked, this, &CTallyvineDlg::OnImport);
    connect(m_pUi->m_btnExport, &QPushButton::clicked, this, &CTallyvineDlg::OnExport);
    connect(m_pUi->m_btnRescan, &QPushButton::clicked, this, &CTallyvineDlg::OnRescan);
    connect(m_pUi->m_btnStop, &QPushButton::clicked, this, &CTallyvineDlg::OnStop);
    connect(m_pUi->m_btnClean, &QPushButton::clicked, this, &CTallyvineDlg::OnClean);
    connect(m_pUi->m_btnDonate, &QPushButton::clicked, this, &CTallyvineDlg::OnDonate);
    auto* pHelp = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(pHelp, &QShortcut::activated, this, &CTallyvineDlg::OnAbout);
}

CScoreListCtrl* CTallyvineDlg::ScoreList() const {
    return m_pUi->m_listScore;
}

QString CTallyvineDlg::StatusText() const {
    return m_pUi->m_staticStatus->text();
}

void CTallyvineDlg::UpdateData() {
    m_strDomain = m_pUi->m_editDomain->text();
    // Takes a value still being typed; the box admits only 0 to 10000.
    m_pUi->m_spinInterval->interpretText();
    m_nInterval = m_pUi->m_spinInterval->value();
}

void CTallyvineDlg::TakeSettings() {
    m_pQueryManager->SetInterval(m_nInterval);
    for (std::size_t nMetric = 0; nMetric < CMetricTable::Count(); ++nMetric) {
        const QCheckBox* pBox = MetricBox(nMetric);
        if (pBox != nullptr) {
            m_pQueryManager->SetMetricFlag(nMetric, pBox->isChecked());
        }
    }
}

void CTallyvineDlg::OnAdd() {
    UpdateData();
    const std::string strDomain = ToBytes(m_strDomain);
    if (strDomain.empty() || !IsValidDomain(strDomain)) {
        CMessageBox::Show(this, CStringTable::Load(IDS_BAD_DOMAIN));
        m_pUi->m_editDomain->setFocus();
        return;
    }
    if (m_pQueryManager) {
        TakeSettings();
        m_pQueryManager->AddDomain(strDomain);
        ReportStartFailure();
    }
}

void CTallyvineDlg::OnImport() {
    if (!m_pQueryManager) {
        return;
    }
    UpdateData();
    TakeSettings();
    const std::optional<QString> path =
        CFileDialog::GetOpenFileName(this, tr("List Files (*.txt);;All Files (*)"));
    if (!path) {
        return;
    }
    CListImporter::SResult result;
    {
        CWaitCursor wait;
        CQueryManager& manager = *m_pQueryManager;
        result = CListImporter([&manager](const std::string& strDomain) {
                     return manager.AddDomain(strDomain);
                 }).ImportFile(ToPath(*path));
    }
    ReportStartFailure();
    if (!result.bComplete) {
        CMessageBox::Show(
            this, CStringTable::Format(IDS_IMPORT_FAILED, QString::fromLocal8Bit(result.strError)));
    }
}

void CTallyvineDlg::OnExport() {
    const std::optional<QString> path =
        CFileDialog::GetSaveFileName(this, tr("Excel Files (*.csv);;All Files (*)"));
    if (!path || !m_pQueryManager) {
        return;
    }
    SCsvHeader header;
    header.strDomain = ToBytes(CStringTable::Load(IDS_COL_DOMAIN));
    for (std::size_t nMetric = 0; nMetric < CMetricTable::Count(); ++nMetric) {
        header.arrMetrics[nMetric] =
            ToBytes(CScoreListModel::ColumnHeader(CScoreListModel::MetricColumn(nMetric)));
    }

    CCsvExporter exporter(header);
    exporter.SetExtraMetrics(TickedExtraMetrics());
    std::string strError;
    bool bWritten = false;
    {
        CWaitCursor wait;
        bWritten = exporter.ExportCsv(m_store, ToPath(*path), &strError);
    }
    if (bWritten) {
        return;
    }
    // The list is never touched by a failed export; the user learns why.
    CMessageBox::Show(
        this, strError.empty()
                  ? CStringTable::Load(IDS_EXPORT_EMPTY)
                  : CStringTable::Format(IDS_EXPORT_FAILED, QString::fromLocal8Bit(strError)));
}

void CTallyvineDlg::OnRescan() {
    UpdateData();
    if (m_pQueryManager) {
        TakeSettings();
        m_pQueryManager->RescanAll();
        ReportStartFailure();
    }
}

void CTallyvineDlg::OnStop() {
    if (m_pQueryManager) {
        m_pQueryManager->Stop();
    }
}

void CTallyvineDlg::OnClean() {
    if (!m_pQueryManager) {
        return;
    }
    if (m_pQueryManager->IsThreadAlive()) {
        CMessageBox::Show(this, CStringTable::Load(IDS_STOP_FIRST));
        return;
    }
    // Reports still queued name records that are about to be freed.
    m_scan.Discard();
    m_pQueryManager->RemoveAll();
    ScoreList()->Model()->RemoveAllRows();
}

void CTallyvineDlg::OnDonate() {
    QDesktopServices::openUrl(QUrl::fromEncoded(VendorInfo::kDonationUrl));
}

void CTallyvineDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

bool CTallyvineDlg::PrepareNetwork() {
    return CQueryManager::PrepareNetwork();
}

bool CTallyvineDlg::ConfirmExit() {
    return CMessageBox::Show(this, CStringTable::Load(IDS_EXIT_CONFIRM),
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void CTallyvineDlg::OnExit() {
    if (ConfirmExit()) {
        EndProgram();
    }
}

void CTallyvineDlg::EndProgram() {
    hide();
    // Ends the scan at once, so the program can end within a second even
    // while a request is in flight. The list lets go of the records first:
    // they die with the controller.
    ScoreList()->Model()->RemoveAllRows();
    m_pQueryManager.reset();
    m_scan.Discard();
    done(QDialog::Accepted);
}

void CTallyvineDlg::reject() {}

void CTallyvineDlg::closeEvent(QCloseEvent* pEvent) {
    if (ConfirmExit()) {
        EndProgram();
        pEvent->accept();
    } else {
        pEvent->ignore();
    }
}

void CTallyvineDlg::changeEvent(QEvent* pEvent) {
    QDialog::changeEvent(pEvent);
    if (pEvent->type() == QEvent::WindowStateChange && isMinimized()) {
        emit Minimised();
    }
}

void CTallyvineDlg::contextMenuEvent(QContextMenuEvent* pEvent) {
    QMenu menu(this);
    menu.addAction(CStringTable::Load(IDS_ABOUTBOX), this, &CTallyvineDlg::OnAbout);
    menu.addAction(CStringTable::Load(IDS_RESCAN_FAILED), this, &CTallyvineDlg::OnRescanFailed);
    menu.exec(pEvent->globalPos());
}

void CTallyvineDlg::ReportStartFailure() {
    if (m_pQueryManager && !m_pQueryManager->StartError().empty()) {
        CMessageBox::Show(
            this, CStringTable::Format(IDS_WORKER_FAILED,
                                       QString::fromLocal8Bit(m_pQueryManager->StartError())));
    }
}

void CTallyvineDlg::ConnectScan() {
    CScoreListModel* pModel = ScoreList()->Model();
    connect(&m_scan, &CScanSignals::RowsAdded, pModel, &CScoreListModel::AddRows);
    connect(&m_scan, &CScanSignals::RowBegan, pModel, &CScoreListModel::UpdateRow);
    connect(&m_scan, &CScanSignals::RowEnded, pModel, &CScoreListModel::UpdateRow);
    connect(&m_scan, &CScanSignals::RowBegan, this, &CTallyvineDlg::OnRowBegan);
    connect(&m_scan, &CScanSignals::RowEnded, this, &CTallyvineDlg::OnRowEnded);
    connect(&m_scan, &CScanSignals::PassEnded, this, &CTallyvineDlg::OnPassEnded);
    connect(&m_scan, &CScanSignals::ListProgress, this, &CTallyvineDlg::SetStatus);
}

void CTallyvineDlg::OnRowBegan(const CDomainRecord* pRecord) {
    const std::string_view strName = pRecord->GetDomain();
    const QString strDomain = QString::fromLatin1(strName.data(), qsizetype(strName.size()));
    SetStatus(CStringTable::Format(IDS_QUERYING, strDomain));
}

void CTallyvineDlg::OnRowEnded() {
    SetStatus(CStringTable::Load(IDS_READY));
}

void CTallyvineDlg::SetStatus(const QString& strText) {
    // The line takes the room it is given and no more; a text too long for
    // it can still be read whole.
    m_pUi->m_staticStatus->setText(strText);
    m_pUi->m_staticStatus->setToolTip(strText);
}

void CTallyvineDlg::OnPassEnded(const SPassSummary& summary) {
    const QString strFailures = PassSummaryText(summary);
    if (!strFailures.isEmpty()) {
        SetStatus(CStringTable::Format(IDS_READY_WITH, strFailures));
    }
}

void CTallyvineDlg::OnRescanFailed() {
    if (m_pQueryManager) {
        UpdateData();
        TakeSettings();
        m_pQueryManager->RescanFailed();
        ReportStartFailure();
    }
}

void CTallyvineDlg::CreateTray() {
    m_TrayIcon.CreateTrayIcon(this, CStringTable::Load(IDS_TRAY_TIP), windowIcon(), false);
    connect(m_TrayIcon.AboutAction(), &QAction::triggered, this, &CTallyvineDlg::OnAbout);
    connect(m_TrayIcon.ExitAction(), &QAction::triggered, this, &CTallyvineDlg::OnExit);
    connect(&m_TrayIcon, &CSystemTray::TrayLost, this, &CTallyvineDlg::OnTrayLost);
    // Queued: the window manager finishes the minimise before the window goes.
    connect(this, &CTallyvineDlg::Minimised, this, &CTallyvineDlg::OnMinimised,
            Qt::QueuedConnection);
}

void CTallyvineDlg::OnMinimised() {
    // Into the tray only when the icon is there to bring the window back;
    // otherwise the minimise stays an ordinary one. The tray may have gone
    // since its presence was last checked, so it is asked now.
    if (isMinimized() && m_TrayIcon.IsIconShown()) {
        AnimateToTray(this, true);
    }
}

void CTallyvineDlg::OnTrayLost() {
    // A window parked in a tray that has gone could never be reached again.
    // (A window hidden because the program is ending has no controller.)
    if (m_pQueryManager && !isVisible()) {
        RestoreFromTray(this, false);
    }
}
