#include "ui/CTrayAnimation.h"

#include <QEventLoop>
#include <QPainter>
#include <QRegion>
#include <QVariantAnimation>

namespace {

constexpr int kOutlineWidth = 3;

// Only the outline is opaque; the inside stays see-through even without a
// compositing window manager.
QRegion OutlineRegion(const QSize& size) {
    const QRect outer(QPoint(0, 0), size);
    const QRect inner =
        outer.adjusted(kOutlineWidth, kOutlineWidth, -kOutlineWidth, -kOutlineWidth);
    return inner.isEmpty() ? QRegion(outer) : QRegion(outer).subtracted(QRegion(inner));
}

} // namespace

int CTrayAnimation::s_nDuration = 200;
bool CTrayAnimation::s_bFlying = false;
CTrayAnimation::FlightObserver CTrayAnimation::s_observer;

CTrayAnimation::CTrayAnimation()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
}

void CTrayAnimation::Fly(const QRect& from, const QRect& to) {
    if (s_bFlying || !from.isValid() || !to.isValid()) {
        return;
    }
    s_bFlying = true;
    if (s_observer) {
        s_observer(from, to);
    }
    CTrayAnimation outline;
    outline.Play(from, to);
    s_bFlying = false;
}

void CTrayAnimation::SetDuration(int nMilliseconds) {
    s_nDuration = nMilliseconds;
}

void CTrayAnimation::SetObserver(FlightObserver observer) {
    s_observer = std::move(observer);
}

void CTrayAnimation::Play(const QRect& from, const QRect& to) {
    MoveTo(from);
    show();
    QVariantAnimation animation;
    animation.setDuration(s_nDuration);
    animation.setStartValue(from);
    animation.setEndValue(to);
    animation.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { MoveTo(value.toRect()); });
    QEventLoop loop;
    connect(&animation, &QVariantAnimation::finished, &loop, &QEventLoop::quit);
    animation.start();
    if (animation.state() == QAbstractAnimation::Running) {
        loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
    }
    hide();
}

void CTrayAnimation::MoveTo(const QRect& rect) {
    setGeometry(rect);
    setMask(OutlineRegion(rect.size()));
}

void CTrayAnimation::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Highlight));
}
