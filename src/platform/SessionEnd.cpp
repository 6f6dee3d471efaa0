#include "platform/SessionEnd.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

// A signal handler may only write to a pipe; the event loop reads it.
int g_signalPipe[2] = {-1, -1};

void onPosixSignal(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

SessionEnd::SessionEnd(std::function<bool()> mayEnd, QObject* parent)
    : QObject(parent), m_mayEnd(std::move(mayEnd))
{
    if (g_signalPipe[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        ::fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    }
    if (g_signalPipe[0] >= 0) {
        m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SessionEnd::onSignal);
        struct sigaction action
        {
        };
        action.sa_handler = onPosixSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGHUP, &action, nullptr);
    }

#if QT_CONFIG(sessionmanager)
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (m_mayEnd && !m_mayEnd()) {
            if (manager.allowsInteraction())
                manager.cancel();
            return;
        }
        emit ending();
    });
#endif
}

SessionEnd::~SessionEnd()
{
    if (m_notifier) {
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGHUP, SIG_DFL);
    }
}

void SessionEnd::onSignal()
{
    char buffer[16];
    const ssize_t n = ::read(g_signalPipe[0], buffer, sizeof buffer);
    const int signal = n > 0 ? buffer[0] : SIGTERM;
    emit ending();
    emit endingBySignal(128 + signal);
    // Not 0, which only the operator's close gives: whoever restarts the
    // program (its systemd unit) must not take this for a chosen end.
    QCoreApplication::exit(128 + signal);
}

} // namespace platform
