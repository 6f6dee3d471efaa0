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
    // Warning icon, the given caption, one "OK" button; not modal: returns at
    // once and the box stays until it is closed. For what the operator must
    // know but need not answer.
    virtual void showNotice(const QString& caption, const QString& text) = 0;
};

} // namespace platform
