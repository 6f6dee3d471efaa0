#pragma once

#include <QString>

namespace platform {

// The program's modal message boxes; each returns when the box is closed.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // Stop icon, one "OK" button, the given caption.
    virtual void showError(const QString& caption, const QString& text) = 0;
    // Information icon, caption "Information", one "OK" button that Enter and
    // Esc both press, centred on the screen, silent.
    virtual void showInformation(const QString& text) = 0;
};

} // namespace platform
