#pragma once

#include <QString>
#include <QVariant>
#include <QWidget>

// The numeric ids the dialogs' controls have always carried, by the control's
// object name. This is their one home: the forms and the source definition
// files do not repeat them. Each control holds its id in its "controlId"
// property once ApplyControlIds has run.
struct SControlId {
    const char* pszName;
    int nId;
};

inline constexpr SControlId kControlIds[] = {
    {"m_btnOK", 1},
    {"m_editDomain", 1000},
    {"m_listScore", 1001},
    {"m_linkSite", 1002},
    {"m_btnAdd", 1003},
    {"m_btnImport", 1004},
    {"m_staticStatus", 1007},
    {"m_btnClean", 1012},
    {"m_btnStop", 1013},
    {"m_checkGSite", 1014},
    {"m_checkBSite", 1015},
    {"m_btnExport", 1016},
    {"m_btnRescan", 1017},
    {"m_checkPR", 1018},
    {"m_checkAlexa", 1019},
    {"m_checkGSearch1", 1020},
    {"m_checkGSearch2", 1021},
    {"m_checkBSearch1", 1022},
    {"m_checkBSearch2", 1023},
    {"m_checkGLink", 1025},
    {"m_checkBLink", 1026},
    {"m_spinInterval", 1027},
    {"m_btnDonate", 1028},
};

inline constexpr const char* kControlIdProperty = "controlId";

// Gives every named control of pRoot its id.
inline void ApplyControlIds(QWidget* pRoot) {
    for (const SControlId& control : kControlIds) {
        if (auto* pWidget = pRoot->findChild<QWidget*>(QString::fromLatin1(control.pszName))) {
            pWidget->setProperty(kControlIdProperty, control.nId);
        }
    }
}
