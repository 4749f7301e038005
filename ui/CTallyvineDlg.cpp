#include "ui/CTallyvineDlg.h"

#include "core/CDomainRecord.h"
#include "core/CMetricTable.h"
#include "core/CQueryManager.h"
#include "core/DomainValidation.h"
#include "exchange/CCsvExporter.h"
#include "exchange/CListImporter.h"
#include "exchange/ColumnSort.h"
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

CTallyvineDlg::CTallyvineDlg(const CServiceHosts& hosts, QWidget* pParent)
    : QDialog(pParent),
      m_poster([this](const CWindowPoster::SMessage& message) { OnMessage(message); },
               [this] { OnMessagesDone(); }) {
    InitResources();
    m_pUi = std::make_unique<Ui::CTallyvineDlg>();
    m_pUi->setupUi(this);
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

    m_pQueryManager =
        std::make_unique<CQueryManager>(m_store, static_cast<IScanListener*>(this), hosts);

    ConnectCommands();
    CreateSourceBoxes();
    ReportSourceErrors();
    CreateTray();
    m_pUi->m_editDomain->setFocus();
}

CTallyvineDlg::~CTallyvineDlg() {
    // Stops the worker, cancels its request and waits for it before the
    // records and the poster go.
    m_pQueryManager.reset();
}

void CTallyvineDlg::CreateSourceBoxes() {
    // Chinese labels where the window speaks Chinese, as the language pack.
    const bool bChinese = QLocale::system().name() == QLatin1String("zh_CN");
    auto* pRow = new QHBoxLayout;
    for (std::size_t nMetric = 0; nMetric < CMetricTable::Count(); ++nMetric) {
        const SMetric& metric = CMetricTable::At(nMetric);
        if (metric.nControlId != 0) {
            continue;
        }
        const std::string& strLabel =
            bChinese && !metric.strLabelZhCN.empty() ? metric.strLabelZhCN : metric.strLabel;
        auto* pBox = new QCheckBox(QString::fromStdString(strLabel), this);
        pBox->setObjectName(QStringLiteral("m_checkSource") + QString::fromStdString(metric.strId));
        pBox->setChecked(metric.bDefault);
        m_mapSourceBoxes[nMetric] = pBox;
        // An extra source's column shows while the source is ticked.
        const int nColumn = kFirstMetricColumn + static_cast<int>(nMetric);
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
    const int nControlId = CMetricTable::At(nMetric).nControlId;
    return nControlId != 0 ? FindControl<QCheckBox>(const_cast<CTallyvineDlg*>(this), nControlId)
                           : nullptr;
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
            ToBytes(CStringTable::Load(CMetricTable::At(nMetric).nHeaderStringId));
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
    // Messages still queued name records that are about to be freed.
    m_poster.Discard();
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
    m_poster.Discard();
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

void CTallyvineDlg::OnRowAdded(CDomainRecord& record) {
    m_poster.Post(WM_DOMAIN_ADDED, &record);
}

void CTallyvineDlg::OnScanBegun(CDomainRecord& record) {
    m_poster.Post(WM_QUERY_BEGIN, &record);
}

void CTallyvineDlg::OnScanEnded(CDomainRecord& record) {
    m_poster.Post(WM_QUERY_END, &record);
}

void CTallyvineDlg::OnPassEnded(const SPassSummary& summary) {
    {
        std::lock_guard<std::mutex> lock(m_passLock);
        m_lastPass = summary;
    }
    m_poster.Post(WM_PASS_END, nullptr);
}

void CTallyvineDlg::OnListProgress(const std::string& strTitle, const SListProgress& progress) {
    // Queued: the worker never waits for the window. The worker is joined
    // before the window goes, so the call never finds it gone.
    const QString strText = QString::fromStdString(CListAnswers::ProgressText(strTitle, progress));
    QMetaObject::invokeMethod(
        this, [this, strText] { SetStatus(strText); }, Qt::QueuedConnection);
}

void CTallyvineDlg::ReportStartFailure() {
    if (m_pQueryManager && !m_pQueryManager->StartError().empty()) {
        CMessageBox::Show(
            this, CStringTable::Format(IDS_WORKER_FAILED,
                                       QString::fromLocal8Bit(m_pQueryManager->StartError())));
    }
}

void CTallyvineDlg::OnMessage(const CWindowPoster::SMessage& message) {
    if (!m_bDeferringCount) {
        // One list update for the whole batch.
        m_bDeferringCount = true;
        ScoreList()->Model()->BeginDeferCount();
    }
    switch (message.nMessage) {
    case WM_DOMAIN_ADDED:
        OnDomainAdded(message.pRecord);
        break;
    case WM_QUERY_BEGIN:
        OnQueryBegin(message.pRecord);
        break;
    case WM_QUERY_END:
        OnQueryEnd(message.pRecord);
        break;
    case WM_PASS_END:
        OnPassEnd();
        break;
    default:
        break;
    }
}

void CTallyvineDlg::OnMessagesDone() {
    if (m_bDeferringCount) {
        m_bDeferringCount = false;
        ScoreList()->Model()->EndDeferCount();
    }
}

void CTallyvineDlg::OnDomainAdded(CDomainRecord* pRecord) {
    if (!pRecord) {
        return;
    }
    ScoreList()->Model()->AppendRecord(pRecord);
    ScoreList()->Refresh();
}

void CTallyvineDlg::OnQueryBegin(CDomainRecord* pRecord) {
    if (!pRecord) {
        return;
    }
    const std::string_view strName = pRecord->GetDomain();
    const QString strDomain = QString::fromLatin1(strName.data(), qsizetype(strName.size()));
    SetStatus(CStringTable::Format(IDS_QUERYING, strDomain));
    RedrawRow(pRecord);
}

void CTallyvineDlg::OnQueryEnd(CDomainRecord* pRecord) {
    SetStatus(CStringTable::Load(IDS_READY));
    if (pRecord) {
        RedrawRow(pRecord);
    }
}

void CTallyvineDlg::SetStatus(const QString& strText) {
    // The line takes the room it is given and no more; a text too long for
    // it can still be read whole.
    m_pUi->m_staticStatus->setText(strText);
    m_pUi->m_staticStatus->setToolTip(strText);
}

void CTallyvineDlg::RedrawRow(const CDomainRecord* pRecord) {
    CScoreListModel* pModel = ScoreList()->Model();
    // Rows the list has not counted yet come with the count; otherwise only
    // the record's row is drawn again, not a million.
    if (pModel->ItemCount() != static_cast<int>(pModel->Rows().size())) {
        ScoreList()->Refresh();
    } else {
        pModel->RedrawRecord(pRecord);
    }
}

void CTallyvineDlg::OnPassEnd() {
    SPassSummary summary;
    {
        std::lock_guard<std::mutex> lock(m_passLock);
        summary = std::move(m_lastPass);
    }
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
    m_TrayIcon.CreateTrayIcon(this, WM_TRAY_NOTIFY, CStringTable::Load(IDS_TRAY_TIP), windowIcon(),
                              IDR_TRAYMENU, false);
    connect(&m_TrayIcon, &CSystemTray::Command, this, &CTallyvineDlg::OnTrayCommand);
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

void CTallyvineDlg::OnTrayCommand(unsigned nCommand) {
    if (nCommand == ID_TRAY_ABOUT) {
        OnAbout();
    } else if (nCommand == ID_TRAY_EXIT) {
        OnExit();
    }
}

void CTallyvineDlg::OnTrayLost() {
    // A window parked in a tray that has gone could never be reached again.
    // (A window hidden because the program is ending has no controller.)
    if (m_pQueryManager && !isVisible()) {
        RestoreFromTray(this, false);
    }
}
