#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

// One line each way. A Lurn of an older build answers only "front".
constexpr char kFrontRequest[] = "front\n";
constexpr char kFrontAnswer[] = "ok\n";
constexpr char kHandOverRequest[] = "handover\n";
constexpr char kGiven[] = "given\n";
constexpr char kKept[] = "kept\n";

// ":0", ":0.0" and "unix:0" are the same desktop; the screen number does not
// make another one. What is left becomes part of a file name.
QString displayKey(QString display)
{
    const qsizetype colon = display.lastIndexOf(QLatin1Char(':'));
    const qsizetype dot = display.indexOf(QLatin1Char('.'), colon + 1);
    if (colon >= 0 && dot > colon)
        display.truncate(dot);
    if (display.startsWith(QLatin1String("unix:")))
        display.remove(0, 4);
    if (display.startsWith(QLatin1Char(':')))
        display.remove(0, 1);
    QString key;
    for (const QChar c : display)
        key += c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-')
                   ? c
                   : QLatin1Char('_');
    return key.isEmpty() ? QStringLiteral("nodisplay") : key;
}

// The client side of the socket, for a start that has no event loop (nor a
// QCoreApplication) yet.
class ClientSocket final
{
public:
    ClientSocket() : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~ClientSocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ClientSocket(const ClientSocket&) = delete;
    ClientSocket& operator=(const ClientSocket&) = delete;

    bool connectTo(const QByteArray& path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (m_fd < 0 || std::size_t(path.size()) >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        return ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }

    bool send(const char* text)
    {
        const std::size_t length = std::strlen(text);
        return ::send(m_fd, text, length, MSG_NOSIGNAL) == ssize_t(length);
    }

    // Reads one line (or what came until the deadline passed or the other
    // side hung up).
    std::string receiveLine(const QDeadlineTimer& deadline)
    {
        std::string got;
        while (got.find('\n') == std::string::npos && got.size() < 64) {
            pollfd fd{m_fd, POLLIN, 0};
            const int ready = ::poll(&fd, 1, int(std::max<qint64>(0, deadline.remainingTime())));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            char buffer[16];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, std::size_t(n));
        }
        return got;
    }

private:
    int m_fd;
};

} // namespace

SingleInstance::SingleInstance(const QString& runtimeDir, const QString& display)
{
    if (runtimeDir.isEmpty())
        return;
    const QString base = runtimeDir + QStringLiteral("/lurn-") + displayKey(display);
    m_lockPath = base + QStringLiteral(".lock");
    m_socketPath = base + QStringLiteral(".socket");
}

SingleInstance::~SingleInstance()
{
    // The socket first: a start that comes now finds the lock free, or the
    // lock held and the socket gone (it waits for the socket, then gives up).
    if (m_listener >= 0) {
        delete m_notifier;
        ::close(m_listener);
        ::unlink(QFile::encodeName(m_socketPath).constData());
    }
}

QString SingleInstance::defaultRuntimeDir()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime;
    // Without a runtime directory, one of our own that nobody else can enter.
    // The temporary directory is everybody's: a directory of that name made
    // by someone else (or a link) could hold a lock and a socket that answer
    // for Lurn and end every start of it. Such a one is not used.
    const QString dir = QDir::tempPath() + QStringLiteral("/lurn-%1").arg(::getuid());
    const QByteArray path = QFile::encodeName(dir);
    ::mkdir(path.constData(), S_IRWXU);
    struct stat st{};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return {};
    return dir;
}

SingleInstance::Claim SingleInstance::claim(QString& why)
{
    if (m_lockPath.isEmpty()) {
        why = QStringLiteral("no private runtime directory (XDG_RUNTIME_DIR is not set and %1 "
                             "is not this user's alone)")
                  .arg(QDir::tempPath() + QStringLiteral("/lurn-%1").arg(::getuid()));
        return Claim::Unknown;
    }
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // Never stale by age: a Lurn may run for weeks. A lock whose process is
    // gone (killed, crashed, another boot) is stale all the same.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return Claim::First;
    switch (m_lock->error()) {
    case QLockFile::LockFailedError:
        return Claim::Second;
    case QLockFile::PermissionError:
        why = QStringLiteral("cannot create %1").arg(m_lockPath);
        break;
    default:
        why = QStringLiteral("cannot take %1").arg(m_lockPath);
        break;
    }
    m_lock.reset();
    return Claim::Unknown;
}

bool SingleInstance::ask(const char* request, const char* expected, int timeoutMs,
                         QString& why, std::string* got)
{
    const QDeadlineTimer deadline(timeoutMs);
    const QByteArray path = QFile::encodeName(m_socketPath);
    // The first may hold the lock but not listen yet: it is still starting.
    for (;;) {
        ClientSocket socket;
        if (socket.connectTo(path)) {
            std::string line;
            if (socket.send(request))
                line = socket.receiveLine(deadline);
            if (got)
                *got = line;
            if (line == expected)
                return true;
            why = QStringLiteral("the running Lurn did not answer on %1").arg(m_socketPath);
            return false;
        }
        if (deadline.hasExpired()) {
            why = QStringLiteral("the running Lurn does not listen on %1").arg(m_socketPath);
            return false;
        }
        ::usleep(20'000);
    }
}

bool SingleInstance::askFirstToFront(int timeoutMs, QString& why)
{
    return ask(kFrontRequest, kFrontAnswer, timeoutMs, why);
}

SingleInstance::HandOver SingleInstance::askFirstToHandOver(int timeoutMs, QString& why)
{
    std::string got;
    if (ask(kHandOverRequest, kGiven, timeoutMs, why, &got))
        return HandOver::Given;
    return got == kKept ? HandOver::Kept : HandOver::NoAnswer;
}

bool SingleInstance::waitForLock(int timeoutMs)
{
    return m_lock && m_lock->tryLock(timeoutMs);
}

void SingleInstance::release()
{
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
}

bool SingleInstance::listen(bool supervised, QString& why)
{
    m_supervised = supervised;
    // Without the lock the socket may be another Lurn's: nothing to answer.
    if (!m_lock)
        return true;
    // Whatever socket is there was left by a Lurn that no longer holds the lock.
    const QByteArray path = QFile::encodeName(m_socketPath);
    ::unlink(path.constData());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || std::size_t(path.size()) >= sizeof address.sun_path) {
        why = QStringLiteral("cannot listen on %1").arg(m_socketPath);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        why = QStringLiteral("cannot listen on %1: %2")
                  .arg(m_socketPath, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return false;
    }
    // Only this user may ask (the runtime directory is private as well).
    ::chmod(path.constData(), S_IRUSR | S_IWUSR);
    m_listener = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SingleInstance::answer);
    return true;
}

void SingleInstance::answer()
{
    const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    // Read as it comes, never waited for: the event loop runs the countdown.
    // A caller that says nothing within a second is dropped.
    struct Caller
    {
        int fd;
        QSocketNotifier* notifier;
        std::string request;
        bool done = false;
        void hangUp()
        {
            if (done)
                return;
            done = true;
            notifier->setEnabled(false);
            notifier->deleteLater();
            ::close(fd);
        }
    };
    auto caller = std::make_shared<Caller>(
        Caller{fd, new QSocketNotifier(fd, QSocketNotifier::Read, this), {}});
    QTimer::singleShot(1000, caller->notifier, [caller] { caller->hangUp(); });
    connect(caller->notifier, &QSocketNotifier::activated, this, [this, caller] {
        char buffer[16];
        const ssize_t n = ::read(caller->fd, buffer, sizeof buffer);
        if (n > 0)
            caller->request.append(buffer, std::size_t(n));
        if (n > 0 && caller->request.find('\n') == std::string::npos &&
            caller->request.size() < 64)
            return;
        const std::string& request = caller->request;
        const bool handOver = request == kHandOverRequest && !m_supervised;
        const bool front = request == kFrontRequest || (request == kHandOverRequest && !handOver);
        const char* reply = handOver ? kGiven : request == kFrontRequest ? kFrontAnswer : kKept;
        if (front || handOver) {
            // The asker only waits for the answer; if it is gone, so be it.
            [[maybe_unused]] const ssize_t sent =
                ::send(caller->fd, reply, std::strlen(reply), MSG_NOSIGNAL);
        }
        caller->hangUp();
        if (handOver)
            emit handOverWanted();
        else if (front)
            emit frontWanted();
    });
}

} // namespace platform
