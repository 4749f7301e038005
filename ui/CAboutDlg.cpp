#include "ui/CAboutDlg.h"

#include "ui/CHyperLink.h"
#include "ui/ControlIds.h"
#include "ui/ResourceInit.h"
#include "ui/VendorInfo.h"
#include "ui_CAboutDlg.h"

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
    InitResources();
    m_pUi = std::make_unique<Ui::CAboutDlg>();
    m_pUi->setupUi(this);
    ApplyControlIds(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/images/tallyvine.png")));

    m_pUi->m_linkSite->PointTo(QString::fromLatin1(VendorInfo::kSiteUrl),
                               QString::fromLatin1(VendorInfo::kSiteHost));
}

CAboutDlg::~CAboutDlg() = default;

CHyperLink* CAboutDlg::SiteLink() const {
    return m_pUi->m_linkSite;
}
