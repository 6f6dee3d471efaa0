#pragma once

#include "platform/TopLevelWindows.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Runs the closing passes on a thread of their own. Reaching other programs'
// windows means talking to the X server, a compositor or GNOME Shell, any of
// which may be slow or gone; the tick, the lock and the notice must never wait
// for them. Passes run one after another in the order they were submitted.
class ClosingWorker final : public QObject
{
    Q_OBJECT
public:
    // windows is used only from the worker's thread from now on, and must
    // outlive the worker.
    explicit ClosingWorker(platform::TopLevelWindows& windows, QObject* parent = nullptr);
    // Lets the passes already submitted finish, then ends the thread.
    ~ClosingWorker() override;
    ClosingWorker(const ClosingWorker&) = delete;
    ClosingWorker& operator=(const ClosingWorker&) = delete;

    // Queues one pass over the names; returns at once.
    void submit(std::vector<std::string> names);
    // Waits until every submitted pass has run, at most timeoutMs; true if so.
    bool waitUntilIdle(int timeoutMs);

signals:
    // A pass has run; the windows it asked to close, in order.
    void passDone(const std::vector<platform::WindowHandle>& asked);
    // The source failed; said once until a pass succeeds again.
    void failed(const QString& message);

private:
    void run();

    platform::TopLevelWindows& m_windows;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::vector<std::string>> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    bool m_failing = false; // only the worker's thread touches it
    std::thread m_thread;
};
