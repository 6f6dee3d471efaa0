#pragma once

#include <QPoint>
#include <QRect>

class QWidget;

namespace platform {

// The window's outer rectangle as it will be on screen. Before a window is
// first mapped Qt does not know its decorations; they are then taken to be
// those of another visible window of the program.
QRect expectedFrame(QWidget* window);

// Puts the window's outer top-left corner at position.
void placeFrame(QWidget* window, QPoint position);

// The frame moved just enough to lie wholly inside area (top-left kept when
// it is larger than the area).
QRect keptInside(QRect frame, const QRect& area);

// Centres the window's frame on the screen it is on.
void centreOnScreen(QWidget* window);

} // namespace platform
