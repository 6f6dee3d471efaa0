#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace platform {

// The application as the desktop sees it: one task-bar entry that carries the
// application's title, and the program's windows behind it.
class AppShell
{
public:
    virtual ~AppShell() = default;

    // Call once for each window of the program before it is first shown: the
    // window gets no task-bar entry of its own (the application's entry stands
    // for all of them).
    virtual void prepareWindow(QWidget* window) = 0;
    // The window whose close ends the program; a close request on the task-bar
    // entry is passed on to it.
    virtual void setMainWindow(QWidget* window) = 0;

    // Hides every window of the program; only the task-bar entry stays.
    virtual void minimise() = 0;
    // Brings back the windows that minimise() hid.
    virtual void restore() = 0;
    virtual bool isMinimised() const = 0;

    // The text of the task-bar entry; window captions are left alone.
    virtual void setTitle(const QString& title) = 0;
    virtual QString title() const = 0;

    // Brings the program to the user, as its task-bar entry does when it is
    // clicked: the lock if it is up, otherwise the main window, shown and
    // raised. For a second start of the program on the same desktop.
    virtual void bringToFront() = 0;

    // Handles every queued event before returning.
    virtual void processPendingEvents() = 0;

    // Puts the window at the top of the always-on-top band, keeping its
    // position and size.
    virtual void makeTopMost(QWidget* window) = 0;

    // Shows the dialog modally and returns its result when it has closed.
    // Another program may take the dialog's window away meanwhile (destroy
    // it); the dialog is then shown again, so only its own close ends it.
    virtual int runModal(QDialog* dialog) = 0;
};

// The title an application has before anything sets it: the executable's
// file name without directory and without everything from its first ".",
// first character as it is, the rest in lower case.
QString defaultApplicationTitle(const QString& executablePath);

} // namespace platform
