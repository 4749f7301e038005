#include "ui/CHyperLink.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

CHyperLink::CHyperLink(QWidget* pParent) : QLabel(pParent) {
    QFont font = this->font();
    font.setUnderline(true);
    setFont(font);
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
    setFocusPolicy(Qt::NoFocus);
    ApplyColour();
}

CHyperLink::~CHyperLink() = default;

void CHyperLink::SetToolTipText(const QString& strText) {
    if (m_bToolTip) {
        setToolTip(strText);
    }
}

QColor CHyperLink::TextColour() const {
    if (m_bVisited) {
        return m_crVisitedColour;
    }
    return m_bOverControl ? m_crHoverColour : m_crLinkColour;
}

void CHyperLink::ApplyColour() {
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, TextColour());
    setPalette(palette);
}

void CHyperLink::enterEvent(QEnterEvent* pEvent) {
    QLabel::enterEvent(pEvent);
    m_bOverControl = true;
    ApplyColour();
}

void CHyperLink::leaveEvent(QEvent* pEvent) {
    QLabel::leaveEvent(pEvent);
    m_bOverControl = false;
    ApplyColour();
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* pEvent) {
    QLabel::mouseReleaseEvent(pEvent);
    if (pEvent->button() != Qt::LeftButton || !rect().contains(pEvent->position().toPoint())) {
        return;
    }
    QDesktopServices::openUrl(QUrl(m_strURL));
    m_bVisited = true;
    ApplyColour();
    emit Clicked();
}
