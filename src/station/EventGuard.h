#pragma once

#include <QObject>
#include <QString>

#include <exception>
#include <utility>

// Raised by a handler to stop itself and every handler that called it, with
// no message: the guard swallows it.
struct SilentAbort final
{
};

[[noreturn]] inline void Abort()
{
    throw SilentAbort{};
}

// The text of the error box for an error message: a full stop is added when
// the last character sorts after ".".
QString errorBoxText(const QString& message);

// Shows an uncaught error: caption the application's title, stop icon, "OK".
void showUncaughtError(const QString& message);

// Runs one event handler. Exceptions never leave it: the silent abort is
// swallowed, any other error is shown in the error box, and the program goes on.
template <typename Handler> void guarded(Handler&& handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
    } catch (const SilentAbort&) {
    } catch (const std::exception& e) {
        showUncaughtError(QString::fromUtf8(e.what()));
    } catch (...) {
        showUncaughtError(QStringLiteral("Unknown error"));
    }
}

// connect() for an event handler: the slot runs under the guard.
template <typename Sender, typename Signal, typename Receiver>
QMetaObject::Connection connectHandler(Sender* sender, Signal signal, Receiver* receiver,
                                       void (Receiver::*handler)())
{
    return QObject::connect(sender, signal, receiver,
                            [receiver, handler] { guarded([&] { (receiver->*handler)(); }); });
}
