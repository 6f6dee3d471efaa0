#pragma once

#include <QObject>
#include <QTimer>

// The countdown's one-second timer. Its ticks come a little after each whole
// second since it was started, never on it: the remaining time is shown with
// its seconds cut off, so a tick that fell on the boundary (the clock reads
// whole milliseconds) would show one second twice and skip the next.
class CountdownTimer final : public QObject
{
    Q_OBJECT
public:
    // How late after each whole second the ticks come.
    static constexpr int kLateMs = 20;

    explicit CountdownTimer(QObject* parent = nullptr);

    // Starts a full interval (plus the small lateness) from now.
    void start();
    // Starts with a first tick firstMs from now, then every interval: for a
    // countdown taken up part of the way through a second.
    void startAfter(int firstMs);
    void stop();
    bool isActive() const { return m_active; }
    void setInterval(int ms) { m_interval = ms; }
    int interval() const { return m_interval; }

signals:
    void timeout();

private:
    int m_interval = 1000;
    bool m_active = false;
    QTimer m_first;  // the first, slightly longer interval
    QTimer m_repeat; // then every interval, without drift
};
