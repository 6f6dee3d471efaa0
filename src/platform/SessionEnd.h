#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace platform {

// Tells when the desktop session ends the program: the session manager's end
// of session, SIGTERM or SIGHUP. The program is then not closed through its
// windows, so what must be kept has to be saved on ending().
class SessionEnd final : public QObject
{
    Q_OBJECT
public:
    // mayEnd is asked when the session manager asks whether the program
    // agrees to end; a false answer refuses the log-off where the session
    // manager lets programs refuse.
    explicit SessionEnd(std::function<bool()> mayEnd, QObject* parent = nullptr);
    ~SessionEnd() override;

signals:
    // The session is ending. After a signal the event loop is asked to quit
    // once the handlers have run, with the status a shell gives a program
    // ended by that signal (128 + its number), never 0.
    void ending();
    // After ending(), when a signal ends the program: status is what it
    // should end with. A handler may end the process right here.
    void endingBySignal(int status);

private:
    void onSignal();

    std::function<bool()> m_mayEnd;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace platform
