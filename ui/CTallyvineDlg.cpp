#include "ui/CTallyvineDlg.h"

#include "core/CDomainRecord.h"
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
#include "ui/ResourceInit.h"
#include "ui/TrayWindow.h"
#include "ui/VendorInfo.h"
#include "ui_CTallyvineDlg.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFile>
#include <QMenu>
#include <QShortcut>
#include <QUrl>

namespace {

// Which box selects which metric.
struct SMetricBox {
    EMetric metric;
    QCheckBox* Ui::CTallyvineDlg::*pBox;
};

constexpr SMetricBox s_metricBoxes[kMetricCount] = {
    {EMetric::PR, &Ui::CTallyvineDlg::m_checkPR},
    {EMetric::Alexa, &Ui::CTallyvineDlg::m_checkAlexa},
    {EMetric::BSite, &Ui::CTallyvineDlg::m_checkBSite},
    {EMetric::BLink, &Ui::CTallyvineDlg::m_checkBLink},
    {EMetric::GSite, &Ui::CTallyvineDlg::m_checkGSite},
    {EMetric::GLink, &Ui::CTallyvineDlg::m_checkGLink},
    {EMetric::BSearch1, &Ui::CTallyvineDlg::m_checkBSearch1},
    {EMetric::GSearch1, &Ui::CTallyvineDlg::m_checkGSearch1},
    {EMetric::BSearch2, &Ui::CTallyvineDlg::m_checkBSearch2},
    {EMetric::GSearch2, &Ui::CTallyvineDlg::m_checkGSearch2},
};

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
    // The icon, the ticked boxes and the fixed PR box come from the form.
    m_pUi->m_linkSite->PointTo(QString::fromLatin1(VendorInfo::kSiteUrl),
                               QString::fromLatin1(VendorInfo::kSiteHost));

    // The Donate button is its image and nothing else.
    QPushButton* pDonate = m_pUi->m_btnDonate;
    pDonate->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0px; }"));
    pDonate->setFixedSize(pDonate->iconSize());

    m_pQueryManager = std::make_unique<CQueryManager>(m_poster.Poster(), hosts);

    ConnectCommands();
    CreateTray();
    m_pUi->m_editDomain->setFocus();
}

CTallyvineDlg::~CTallyvineDlg() {
    // Stops the worker, cancels its request and waits for it before the
    // records and the poster go.
    m_pQueryManager.reset();
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
    for (const SMetricBox& box : s_metricBoxes) {
        m_pQueryManager->SetMetricFlag(box.metric, (m_pUi.get()->*box.pBox)->isChecked());
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
        result = CListImporter(*m_pQueryManager).ImportFile(ToPath(*path));
    }
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
    header.strPR = ToBytes(CStringTable::Load(IDS_COL_PR));
    header.strGSite = ToBytes(CStringTable::Load(IDS_COL_GSITE));
    header.strGSearch1 = ToBytes(CStringTable::Load(IDS_COL_GSEARCH1));
    header.strGSearch2 = ToBytes(CStringTable::Load(IDS_COL_GSEARCH2));
    header.strBSite = ToBytes(CStringTable::Load(IDS_COL_BSITE));
    header.strBSearch1 = ToBytes(CStringTable::Load(IDS_COL_BSEARCH1));
    header.strBSearch2 = ToBytes(CStringTable::Load(IDS_COL_BSEARCH2));
    header.strAlexa = ToBytes(CStringTable::Load(IDS_COL_ALEXA));

    std::string strError;
    bool bWritten = false;
    {
        CWaitCursor wait;
        bWritten = CCsvExporter(header).ExportCsv(*m_pQueryManager, ToPath(*path), &strError);
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
    menu.exec(pEvent->globalPos());
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
    const QString strDomain = QString::fromLatin1(pRecord->GetDomain());
    m_pUi->m_staticStatus->setText(CStringTable::Format(IDS_QUERYING, strDomain));
    // Setting the item count redraws every row, the record's among them.
    ScoreList()->Refresh();
}

void CTallyvineDlg::OnQueryEnd(CDomainRecord* pRecord) {
    m_pUi->m_staticStatus->setText(CStringTable::Load(IDS_READY));
    if (pRecord) {
        ScoreList()->Refresh();
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
