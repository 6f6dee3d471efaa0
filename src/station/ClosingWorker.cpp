#include "station/ClosingWorker.h"

#include "station/ClosingPass.h"

#include <QMetaObject>

#include <chrono>
#include <exception>

ClosingWorker::ClosingWorker(platform::TopLevelWindows& windows, QObject* parent)
    : QObject(parent), m_windows(windows), m_thread([this] { run(); })
{
}

ClosingWorker::~ClosingWorker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ClosingWorker::submit(std::vector<std::string> names)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(names));
    }
    m_wake.notify_all();
}

bool ClosingWorker::waitUntilIdle(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return m_queue.empty() && !m_busy; });
}

void ClosingWorker::run()
{
    for (;;) {
        std::vector<std::string> names;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                return; // stopping, and nothing left to do
            names = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
        }

        std::vector<platform::WindowHandle> asked;
        QString error;
        try {
            asked = runClosingPass(m_windows, names);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        } catch (...) {
            error = QStringLiteral("Unknown error");
        }
        if (error.isEmpty()) {
            m_failing = false;
            QMetaObject::invokeMethod(this, [this, asked] { emit passDone(asked); },
                                      Qt::QueuedConnection);
        } else if (!m_failing) {
            m_failing = true;
            QMetaObject::invokeMethod(this, [this, error] { emit failed(error); },
                                      Qt::QueuedConnection);
        }

        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
        }
        m_idle.notify_all();
    }
}
