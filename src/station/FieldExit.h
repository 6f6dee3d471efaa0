#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <map>

class QWidget;

// Runs a field's exit handler when the keyboard focus moves from the field to
// another control of the same window: not when another window or program
// takes the focus, and once per move.
//
// Qt reports a focus move after it happened, so a handler that refuses the
// field takes the focus back; moves made while a handler runs (the focus
// going to a message box, coming back, being put back on the field) run no
// handler. When a refusal interrupts a mouse press on another control, that
// press is dropped so that the click it started does not happen.
class FieldExitWatcher final : public QObject
{
public:
    using Handler = std::function<void()>;

    explicit FieldExitWatcher(QWidget* window);
    ~FieldExitWatcher() override;

    void watch(QWidget* field, Handler handler);

    // While one of these lives, focus moves run no handler: for the checks
    // that the program runs itself.
    class Quiet final
    {
    public:
        explicit Quiet(FieldExitWatcher& watcher) : m_watcher(watcher) { ++m_watcher.m_quiet; }
        ~Quiet() { --m_watcher.m_quiet; }
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;

    private:
        FieldExitWatcher& m_watcher;
    };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onFocusChanged(QWidget* old, QWidget* now);

    QWidget* m_window;
    std::map<QWidget*, Handler> m_handlers;
    int m_quiet = 0;
    QPointer<QWidget> m_dropPressOn;
};
