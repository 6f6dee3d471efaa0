#include "station/AfterFirstFrame.h"

#include "station/EventGuard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

namespace {

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
    case QEvent::InputMethod:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

} // namespace

AfterFirstFrame::AfterFirstFrame(std::function<void()> work, QObject* parent, int atTheLatestMs)
    : QObject(parent), m_work(std::move(work))
{
    QCoreApplication::instance()->installEventFilter(this);
    QTimer::singleShot(atTheLatestMs, this, &AfterFirstFrame::runNow);
}

void AfterFirstFrame::runNow()
{
    if (!m_work)
        return;
    QCoreApplication::instance()->removeEventFilter(this);
    // Taken out first: what it does may bring events here again.
    const std::function<void()> work = std::move(m_work);
    m_work = nullptr;
    guarded(work);
}

bool AfterFirstFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_work)
        return false;
    if (isInput(event->type())) {
        runNow();
    } else if (event->type() == QEvent::Paint && !m_scheduled && watched->isWidgetType()) {
        // The paint is still to be done and flushed to the screen when this
        // runs; what is posted now comes after it.
        m_scheduled = true;
        QTimer::singleShot(0, this, &AfterFirstFrame::runNow);
    }
    return false;
}
