#include "platform/Supervision.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

constexpr char kUnit[] = "lurn.service";

constexpr int kQuickStarts = 5;      // this many starts ...
constexpr qint64 kQuickWindowMs = 30'000; // ... within this long ...
constexpr int kBackOffMs = 5'000;    // ... and the next waits this long

qint64 bootClockMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

} // namespace

int restartBackOffMs(const QString& dir)
{
    if (dir.isEmpty())
        return 0;
    QFile file(dir + QStringLiteral("/lurn-starts"));
    QList<qint64> starts;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            bool ok = false;
            const qint64 t = line.toLongLong(&ok);
            if (ok)
                starts << t;
        }
        file.close();
    }
    const qint64 now = bootClockMs();
    // A time ahead of now is from an earlier boot (the runtime directory
    // normally goes with the session): forgotten.
    starts.removeIf([now](qint64 t) { return t > now || now - t > kQuickWindowMs; });
    const bool quick = starts.size() >= kQuickStarts;
    starts << now;
    while (starts.size() > kQuickStarts)
        starts.removeFirst();
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        for (qint64 t : starts)
            file.write(QByteArray::number(t) + '\n');
    }
    return quick ? kBackOffMs : 0;
}

bool startedByTheUnit()
{
    // "0::/user.slice/user-1000.slice/user@1000.service/app.slice/lurn.service"
    // (cgroup v2), or a line per hierarchy under v1, the unit's name last on
    // the systemd one.
    QFile file(QStringLiteral("/proc/self/cgroup"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const bool systemdHierarchy =
            line.startsWith("0::") || line.contains(":name=systemd:");
        if (systemdHierarchy && line.endsWith(QByteArray("/") + kUnit))
            return true;
    }
    return false;
}

bool userManagerRuns()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && ::access((runtime + "/systemd/private").constData(), F_OK) == 0;
}

bool startTheUnit(int timeoutMs, QString& why)
{
    const char* arguments[] = {"systemctl", "--user", "start", kUnit, nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, "systemctl", nullptr, nullptr,
                                       const_cast<char* const*>(arguments), environ);
    if (spawned != 0) {
        why = QStringLiteral("cannot run systemctl: %1").arg(QString::fromLocal8Bit(strerror(spawned)));
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            why = QStringLiteral("systemctl was lost");
            return false;
        }
        if (deadline.hasExpired()) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            why = QStringLiteral("systemctl --user start %1 did not finish").arg(QLatin1String(kUnit));
            return false;
        }
        ::usleep(10'000);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    why = QStringLiteral("systemctl --user start %1 failed").arg(QLatin1String(kUnit));
    return false;
}

} // namespace platform
