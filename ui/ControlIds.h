#pragma once

#include <QVariant>
#include <QWidget>

// The numeric ids of the dialogs' controls; the metric boxes' ids (1014,
// 1015, 1018 to 1023, 1025, 1026) are named by the metric table. The forms keep each id in the
// control's "controlId" property, so tests and tools find a control by it.
enum EControlId : int {
    IDOK = 1,
    IDC_DOMAIN = 1000,
    IDC_SCORE_LIST = 1001,
    IDC_SITE_LINK = 1002,
    IDC_ADD = 1003,
    IDC_IMPORT = 1004,
    IDC_STATUS = 1007,
    IDC_CLEAN = 1012,
    IDC_STOP = 1013,
    IDC_EXPORT = 1016,
    IDC_RESCAN = 1017,
    IDC_INTERVAL = 1027,
    IDC_DONATE = 1028,
};

inline constexpr const char* kControlIdProperty = "controlId";

// The control of pRoot (or one of its children) with the id, or null.
template <typename TWidget> TWidget* FindControl(QWidget* pRoot, int nId) {
    const QList<TWidget*> candidates = pRoot->findChildren<TWidget*>();
    for (TWidget* pWidget : candidates) {
        if (pWidget->property(kControlIdProperty).toInt() == nId) {
            return pWidget;
        }
    }
    return nullptr;
}
