#pragma once

#include <QRect>
#include <QWidget>

#include <functional>

class QVariantAnimation;

// The flight between the window and the tray: a frameless outline of the
// window's size that moves and shrinks (or grows) from one rectangle to the
// other. Fly() returns when the flight has ended, as the caption flight of a
// desktop does, so the caller's next step (hide or show) follows it.
class CTrayAnimation : public QWidget {
    Q_OBJECT

public:
    // Plays one flight. A flight asked for while another is still playing is
    // skipped, so a request that arrives during a flight cannot nest a second
    // one. While it plays, neither user input nor other processes' requests
    // are handled.
    static void Fly(const QRect& from, const QRect& to);

    // Tests: the flight's length (the default is 200 ms), and a hook that
    // learns of every flight played.
    static void SetDuration(int nMilliseconds);
    using FlightObserver = std::function<void(const QRect& from, const QRect& to)>;
    static void SetObserver(FlightObserver observer);

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    CTrayAnimation();
    void Play(const QRect& from, const QRect& to);
    void MoveTo(const QRect& rect);

    static int s_nDuration;
    static bool s_bFlying;
    static FlightObserver s_observer;
};
