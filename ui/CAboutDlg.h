#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class CAboutDlg;
}
class CHyperLink;

// The About box: the program's name and version and a link to the vendor's
// web site. Created, shown modally and destroyed each time it is asked for.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* pParent = nullptr);
    ~CAboutDlg() override;

    CHyperLink* SiteLink() const;

private:
    std::unique_ptr<Ui::CAboutDlg> m_pUi;
};
