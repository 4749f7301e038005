#pragma once

#include "core/CRecordStore.h"
#include "core/SPassSummary.h"
#include "queries/CServiceHosts.h"
#include "ui/CScanSignals.h"
#include "ui/CSystemTray.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace Ui {
class CTallyvineDlg;
}
class CDomainRecord;
class QCheckBox;
class CQueryManager;
class CScoreListCtrl;

// The main window: the domain box, the metric boxes, the interval, the
// commands, the score list and the status line. It owns the scan controller;
// the worker reaches the window only through the scan signals.
//
// Hooks for the tray and the application: OnAbout() and OnExit() are the
// tray menu's commands, ConfirmExit() asks "Exit?", Minimised() is emitted
// once the window has been minimised, and the window never closes but through
// the confirmation.
class CTallyvineDlg : public QDialog {
    Q_OBJECT

public:
    // hosts: where the services are; tests point them at a local server.
    explicit CTallyvineDlg(const CServiceHosts& hosts = CServiceHosts::FromEnvironment(),
                           QWidget* pParent = nullptr);
    ~CTallyvineDlg() override;

    // Starts the network layer; once per process, before any thread.
    static bool PrepareNetwork();

    // Asks "Exit?"; true when the user answers Yes.
    bool ConfirmExit();

    CQueryManager* QueryManager() const { return m_pQueryManager.get(); }
    CScoreListCtrl* ScoreList() const;
    QString StatusText() const;
    // The scan's reports as the window hears them. A test or a benchmark may
    // listen beside the window: the window's own slots run first.
    const CScanSignals& ScanSignals() const { return m_scan; }
    // The notification-area icon.
    CSystemTray& TrayIcon() { return m_TrayIcon; }

public slots:
    void OnAdd();
    void OnImport();
    void OnExport();
    void OnRescan();
    void OnStop();
    void OnClean();
    void OnDonate();
    // The context menu's command: asks again only the cells that failed.
    void OnRescanFailed();
    // Shows the About box modally.
    void OnAbout();
    // The tray menu's Exit: the close confirmation, and on Yes the end.
    void OnExit();

signals:
    // The window has just been minimised (by the window manager or the user).
    void Minimised();

protected:
    // Escape must never close the window.
    void reject() override;
    void closeEvent(QCloseEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;

private:
    void ConnectCommands();
    // One box per source that has none on the form, in a row under the ten.
    void CreateSourceBoxes();
    // The box that ticks the metric: the form's for a built-in metric that
    // has one there, else the window's own.
    QCheckBox* MetricBox(std::size_t nMetric) const;
    std::vector<std::size_t> TickedExtraMetrics() const;
    // Tells of definition files that were left out.
    void ReportSourceErrors();
    void UpdateData();
    void TakeSettings();
    void EndProgram();

    // Tells the user when the last command could not start the worker.
    void ReportStartFailure();

    // The scan's reports: the list follows them by itself; the window
    // keeps the status line.
    void ConnectScan();
    void OnRowBegan(const CDomainRecord* pRecord);
    void OnRowEnded();
    void OnPassEnded(const SPassSummary& summary);
    void SetStatus(const QString& strText);

    // The tray: created with the window, removed with it.
    void CreateTray();
    void OnMinimised();
    void OnTrayLost();

    std::unique_ptr<Ui::CTallyvineDlg> m_pUi;
    std::map<std::size_t, QCheckBox*> m_mapSourceBoxes;
    QString m_strDomain;
    std::int32_t m_nInterval = 1000;
    // Declared before the controller: the controller's worker reports
    // through it, and reads the records, until the controller is gone.
    CScanSignals m_scan;
    CRecordStore m_store;
    std::unique_ptr<CQueryManager> m_pQueryManager;
    CSystemTray m_TrayIcon;
};
