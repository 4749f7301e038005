#pragma once

#include <QColor>
#include <QLabel>
#include <QString>

// A text that looks and acts like a web link: underlined, blue until it was
// clicked (red while the mouse is over it), dark blue once visited, a hand
// pointer, a tooltip, and a click opens its URL in the default browser.
class CHyperLink : public QLabel {
    Q_OBJECT

public:
    explicit CHyperLink(QWidget* pParent = nullptr);
    ~CHyperLink() override;

    void SetURL(const QString& strURL) { m_strURL = strURL; }
    const QString& GetURL() const { return m_strURL; }
    // Allows SetToolTipText to set the tooltip.
    void SetToolTip(bool bToolTip) { m_bToolTip = bToolTip; }
    // Sets the tooltip when allowed by SetToolTip, else does nothing.
    void SetToolTipText(const QString& strText);
    // Opens strURL and shows strTip as the tooltip.
    void PointTo(const QString& strURL, const QString& strTip) {
        SetURL(strURL);
        SetToolTip(true);
        SetToolTipText(strTip);
    }

    bool IsVisited() const { return m_bVisited; }
    // The colour the text is drawn in now.
    QColor TextColour() const;

signals:
    void Clicked();

protected:
    void enterEvent(QEnterEvent* pEvent) override;
    void leaveEvent(QEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

private:
    void ApplyColour();

    bool m_bToolTip = false;
    bool m_bOverControl = false;
    bool m_bVisited = false;
    QString m_strURL;
    const QColor m_crHoverColour{255, 0, 0};
    const QColor m_crLinkColour{0, 0, 255};
    const QColor m_crVisitedColour{5, 34, 143};
};
