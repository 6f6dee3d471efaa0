#pragma once

#include "platform/AppShell.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <vector>

namespace platform::x11 {

class OwnerWindow;

// The application on an X11 desktop. Task bars list every managed window that
// does not ask to be skipped, so the program's own windows all ask to be
// skipped and one small owner window, normal and kept minimised, carries the
// single task-bar entry with the application's title. The owner is nobody's
// transient parent: window managers minimise transients with their parent.
//
// Any program may destroy another's X windows (xdotool windowclose does).
// Qt would go on drawing into the dead window; the shell rebuilds such a
// window of ours and shows it again as it was.
class X11AppShell final : public QObject, public AppShell, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    explicit X11AppShell(const QString& initialTitle);
    ~X11AppShell() override;

    void prepareWindow(QWidget* window) override;
    void setMainWindow(QWidget* window) override;
    void minimise() override;
    void restore() override;
    bool isMinimised() const override { return m_minimised; }
    void bringToFront() override;
    void setTitle(const QString& title) override;
    QString title() const override { return m_title; }
    void processPendingEvents() override;
    void makeTopMost(QWidget* window) override;
    int runModal(QDialog* dialog) override;

    // The window that carries the task-bar entry (for tests and diagnostics).
    QWidget* ownerWindow() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void onTaskBarActivation();
    void onTaskBarClose();
    void markSkipTaskbar(QWidget* window);
    // Lists KDE's critical-notification window type before the window's own.
    void markCriticalNotification(QWidget* window);
    void rebuild(QPointer<QWidget> window);

    struct Hidden
    {
        QPointer<QWidget> window;
        bool minimisedInPlace; // minimised rather than hidden: it runs a modal loop
    };

    OwnerWindow* m_owner = nullptr;
    QPointer<QWidget> m_main;
    QString m_title;
    bool m_minimised = false;
    bool m_x11 = false; // false when Qt runs on another platform plugin
    std::vector<Hidden> m_hidden;
    QSet<QDialog*> m_lostModals; // dialogs whose modal run must start again
};

} // namespace platform::x11
