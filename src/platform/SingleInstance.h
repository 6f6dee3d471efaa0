#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <string>

class QLockFile;
class QSocketNotifier;

namespace platform {

// One Lurn per desktop: per user and X display. The first start holds a lock
// file (QLockFile) in the user's runtime directory and answers on a Unix
// socket beside it; a later start on the same display asks the first to come
// to the front and ends. Two countdowns and two locks on one desktop, each
// saving the settings over the other's, are never what anybody meant.
//
// The socket is a plain one rather than QLocalServer: QtNetwork would bring
// Kerberos, GSSAPI and libproxy into every start of the program for one line
// of text, costing milliseconds and a megabyte before the first window.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    // display names the desktop (the DISPLAY value); runtimeDir is where the
    // lock and the socket live ($XDG_RUNTIME_DIR, or a private directory
    // under the temporary directory when it is not set). Empty: nowhere
    // safe, and claim() answers Unknown.
    SingleInstance(const QString& runtimeDir, const QString& display);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // $XDG_RUNTIME_DIR, or else <tmp>/lurn-<uid> when it is this user's
    // alone (made 0700 when missing); empty when it is not. Needs no
    // QCoreApplication.
    static QString defaultRuntimeDir();

    enum class Claim {
        First,   // this is the one: it holds the lock
        Second,  // another Lurn holds it
        Unknown, // the lock could not be taken or tested (reason in why)
    };
    // Takes the lock when no other Lurn on this display holds it. A lock left
    // by a Lurn that was killed is taken over. Needs no QCoreApplication.
    Claim claim(QString& why);

    // As the second: asks the first to bring its windows to the front and
    // waits for its answer, at most timeoutMs (the first may still be
    // starting). Needs no QCoreApplication.
    bool askFirstToFront(int timeoutMs, QString& why);

    // As the unit's start (see Supervision.h): asks the first to hand the
    // desktop over. The first answers Given when it is not the unit's and is
    // about to end (its countdown kept on disk), Kept when it is the unit's
    // own and came to the front instead; NoAnswer when it does not listen
    // (yet, or any more). Needs no QCoreApplication.
    enum class HandOver { Given, Kept, NoAnswer };
    HandOver askFirstToHandOver(int timeoutMs, QString& why);

    // After claim() said Second: waits at most timeoutMs for the first to let
    // go of the lock, and takes it. True when this one holds it now.
    bool waitForLock(int timeoutMs);

    // Lets go of the lock taken by claim().
    void release();

    // As the first, once the application object exists: answers later starts
    // (without the lock, does nothing). supervised: this is the unit's Lurn,
    // which never hands the desktop over.
    bool listen(bool supervised, QString& why);

    QString lockPath() const { return m_lockPath; }
    QString socketPath() const { return m_socketPath; }

signals:
    // A later start asked for the program's windows.
    void frontWanted();
    // The unit's Lurn asked for the desktop: keep the countdown and end. It
    // waits for the lock.
    void handOverWanted();

private:
    void answer();
    bool ask(const char* request, const char* expected, int timeoutMs, QString& why,
             std::string* got = nullptr);

    QString m_lockPath;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    bool m_supervised = false;
    int m_listener = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace platform
