#include "platform/CountdownFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <sys/stat.h>

namespace platform {

namespace {

// Far more than any state; a bigger file is not ours.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

} // namespace

QString countdownFilePath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.config");
    return dir + QStringLiteral("/Lurn.countdown");
}

CountdownFile::CountdownFile(const QString& path, QObject* parent)
    : QObject(parent), m_path(path), m_thread([this] { run(); })
{
}

CountdownFile::~CountdownFile()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

std::optional<std::string> CountdownFile::read(QString& error) const
{
    QFile file(m_path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return std::nullopt;
    }
    if (file.size() > kMaxFileBytes) {
        error = QStringLiteral("the file is too big to be a countdown state");
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return std::nullopt;
    }
    return bytes.toStdString();
}

QString CountdownFile::setAside()
{
    const QString aside = m_path + QStringLiteral(".bad");
    QFile::remove(aside);
    if (QFile::rename(m_path, aside))
        return aside;
    QFile::remove(m_path);
    return {};
}

void CountdownFile::save(std::string text)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = std::move(text);
        ++m_asked;
    }
    m_wake.notify_one();
}

void CountdownFile::remove()
{
    save(std::string());
}

bool CountdownFile::waitUntilWritten(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return !m_pending && !m_busy; });
}

void CountdownFile::whenWritten(std::function<void()> then)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_finished < m_asked) {
            m_waiters.push_back(Waiter{m_asked, std::move(then)});
            return;
        }
    }
    QMetaObject::invokeMethod(this, std::move(then), Qt::QueuedConnection);
}

void CountdownFile::run()
{
    for (;;) {
        std::string text;
        std::uint64_t asked = 0;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_pending || m_stopping; });
            if (!m_pending)
                return; // stopping, and nothing left to write
            text = std::move(*m_pending);
            m_pending.reset();
            // A save that replaced one still waiting stands for both.
            asked = m_asked;
            m_busy = true;
        }
        QString error;
        const bool ok = write(text, error);
        if (!ok && !m_failing) {
            emit failed(QStringLiteral("%1: %2").arg(m_path, error));
        }
        m_failing = !ok;
        std::vector<Waiter> ready;
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
            m_finished = asked;
            const auto due =
                std::stable_partition(m_waiters.begin(), m_waiters.end(),
                                      [asked](const Waiter& w) { return w.after > asked; });
            std::move(due, m_waiters.end(), std::back_inserter(ready));
            m_waiters.erase(due, m_waiters.end());
        }
        m_done.notify_all();
        // Posted to this object, which outlives the thread (its destructor
        // joins it): a waiter gone by then is dropped with the events.
        for (Waiter& w : ready)
            QMetaObject::invokeMethod(this, std::move(w.then), Qt::QueuedConnection);
    }
}

bool CountdownFile::write(const std::string& text, QString& error)
{
    if (text.empty()) {
        if (!QFile::exists(m_path) || QFile::remove(m_path))
            return true;
        error = QStringLiteral("cannot remove it");
        return false;
    }
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        error = QStringLiteral("cannot create its directory");
        return false;
    }
    // Written beside and renamed over the old one: a crash or a full disk
    // leaves the old state or the new one, never a part of either.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    // It holds the password: nobody else may read it.
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        return false;
    }
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

} // namespace platform
