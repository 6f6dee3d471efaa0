#include "countdown/CountdownTimer.h"

CountdownTimer::CountdownTimer(QObject* parent) : QObject(parent)
{
    m_first.setSingleShot(true);
    m_first.setTimerType(Qt::PreciseTimer);
    m_repeat.setTimerType(Qt::PreciseTimer);
    connect(&m_first, &QTimer::timeout, this, [this] {
        m_repeat.start(m_interval);
        emit timeout();
    });
    connect(&m_repeat, &QTimer::timeout, this, &CountdownTimer::timeout);
}

void CountdownTimer::start()
{
    startAfter(m_interval + kLateMs);
}

void CountdownTimer::startAfter(int firstMs)
{
    m_repeat.stop();
    m_first.start(firstMs);
    m_active = true;
}

void CountdownTimer::stop()
{
    m_first.stop();
    m_repeat.stop();
    m_active = false;
}
