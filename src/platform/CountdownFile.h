#pragma once

#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// Where the running countdown's state is kept: Lurn.countdown beside the
// settings ($XDG_CONFIG_HOME or ~/.config).
QString countdownFilePath();

// The file that keeps the running countdown's state. Reading is for the start
// of the program; writing and removing run on a thread of their own, so that
// neither a tick nor the lock ever waits for the disk. Only the latest state
// matters: a write asked for while another waits replaces it.
class CountdownFile final : public QObject
{
    Q_OBJECT
public:
    explicit CountdownFile(const QString& path, QObject* parent = nullptr);
    // Finishes what is asked, then ends the thread.
    ~CountdownFile() override;
    CountdownFile(const CountdownFile&) = delete;
    CountdownFile& operator=(const CountdownFile&) = delete;

    QString path() const { return m_path; }

    // What the file holds now, or nothing when there is none; a file that
    // exists but cannot be read gives nothing with the reason in error.
    std::optional<std::string> read(QString& error) const;
    // Moves a file that could not be used to <path>.bad, where it replaces an
    // earlier one, so that nothing is lost and the next start does not meet
    // it again. Returns the new name, or an empty one when it failed (the file
    // is then removed).
    QString setAside();

    // Replaces the file with text (mode 0600, all of it or nothing).
    void save(std::string text);
    // Removes the file: no countdown is left to take up.
    void remove();
    // Waits until everything asked has been done, at most timeoutMs; true if so.
    bool waitUntilWritten(int timeoutMs);
    // Runs then on this object's thread once everything asked so far has
    // been written (or has failed, and the failure has been said); never
    // blocks. Whatever then touches must check that it still exists.
    void whenWritten(std::function<void()> then);

signals:
    // A write or removal failed; said once until one succeeds again.
    void failed(const QString& message);

private:
    void run();
    bool write(const std::string& text, QString& error);

    const QString m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::optional<std::string> m_pending; // the text to write; empty text removes
    std::uint64_t m_asked = 0;            // how many saves and removals were asked
    std::uint64_t m_finished = 0;         // how many of them are done with
    struct Waiter
    {
        std::uint64_t after;
        std::function<void()> then;
    };
    std::vector<Waiter> m_waiters;
    bool m_busy = false;
    bool m_stopping = false;
    bool m_failing = false; // only the writer's thread touches it
    std::thread m_thread;
};

} // namespace platform
