#include "station/FieldExit.h"

#include "station/EventGuard.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

FieldExitWatcher::FieldExitWatcher(QWidget* window) : QObject(window), m_window(window)
{
    connect(qApp, &QApplication::focusChanged, this, &FieldExitWatcher::onFocusChanged);
    qApp->installEventFilter(this);
}

FieldExitWatcher::~FieldExitWatcher()
{
    qApp->removeEventFilter(this);
}

void FieldExitWatcher::watch(QWidget* field, Handler handler)
{
    m_handlers[field] = std::move(handler);
}

void FieldExitWatcher::onFocusChanged(QWidget* old, QWidget* now)
{
    if (m_quiet > 0 || !old || !now || now->window() != m_window)
        return;
    const auto it = m_handlers.find(old);
    if (it == m_handlers.end())
        return;

    bool refused = false;
    {
        Quiet quiet(*this);
        guarded([&] {
            try {
                it->second();
            } catch (const SilentAbort&) {
                refused = true;
                throw;
            }
        });
    }
    if (refused) {
        // Qt moves the focus on a mouse press before it delivers the press:
        // if that press is what moved the focus, it must not go on to click.
        m_dropPressOn = now;
        QTimer::singleShot(0, this, [this] { m_dropPressOn = nullptr; });
    }
}

bool FieldExitWatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (m_dropPressOn && watched == m_dropPressOn.data() &&
        (event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonDblClick)) {
        m_dropPressOn = nullptr;
        return true;
    }
    return QObject::eventFilter(watched, event);
}
