#include "platform/WindowPlacement.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace platform {
namespace {

QMargins decorations(const QWidget* window)
{
    if (window->isVisible() && window->windowHandle() &&
        !window->windowHandle()->frameMargins().isNull())
        return window->windowHandle()->frameMargins();
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other != window && other->isVisible() && other->windowHandle() &&
            !(other->windowFlags() & Qt::FramelessWindowHint)) {
            const QMargins m = other->windowHandle()->frameMargins();
            if (!m.isNull())
                return m;
        }
    }
    return {};
}

} // namespace

QRect expectedFrame(QWidget* window)
{
    return window->geometry().marginsAdded(decorations(window));
}

void placeFrame(QWidget* window, QPoint position)
{
    // The client area is placed, not the frame: Qt's own frame-inclusive
    // positions depend on whether it already knows the decorations, which it
    // learns only some time after the window is first mapped.
    const QMargins m = decorations(window);
    window->setGeometry(QRect(position + QPoint(m.left(), m.top()), window->size()));
}

QRect keptInside(QRect frame, const QRect& area)
{
    if (frame.right() > area.right())
        frame.moveRight(area.right());
    if (frame.bottom() > area.bottom())
        frame.moveBottom(area.bottom());
    if (frame.left() < area.left())
        frame.moveLeft(area.left());
    if (frame.top() < area.top())
        frame.moveTop(area.top());
    return frame;
}

void centreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = expectedFrame(window);
    frame.moveCenter(screen->geometry().center());
    placeFrame(window, frame.topLeft());
}

} // namespace platform
