#include "console/RoomSource.h"

#include "console/RoomWorker.h"

#include <QThread>

RoomSource::RoomSource(const QString& serverUri, QObject* parent)
    : QObject(parent), m_thread(new QThread(this)), m_worker(new RoomWorker(serverUri))
{
    qRegisterMetaType<RoomSnapshotPtr>("RoomSnapshotPtr");
    qRegisterMetaType<RoomCommand>("RoomCommand");
    m_thread->setObjectName(QStringLiteral("room"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::started, m_worker, &RoomWorker::start);
    connect(m_worker, &RoomWorker::snapshotRead, this, &RoomSource::snapshotRead);
    connect(m_worker, &RoomWorker::connectionChanged, this, &RoomSource::connectionChanged);
    connect(m_worker, &RoomWorker::commandStored, this, &RoomSource::commandStored);
    connect(m_worker, &RoomWorker::commandFailed, this, &RoomSource::commandFailed);
    connect(m_worker, &RoomWorker::commandAnswered, this, &RoomSource::commandAnswered);
    m_thread->start();
}

RoomSource::~RoomSource()
{
    // The connection belongs to the worker's thread and is closed there.
    QMetaObject::invokeMethod(m_worker, &RoomWorker::stop, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
}

int RoomSource::issue(const RoomCommand& command)
{
    const int tag = m_nextTag++;
    const auto clickedAt = std::chrono::steady_clock::now();
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, tag, command, clickedAt] {
        worker->issue(tag, command, clickedAt);
    });
    return tag;
}

void RoomSource::setOrderValidityMs(std::int64_t ms)
{
    QMetaObject::invokeMethod(m_worker,
                              [worker = m_worker, ms] { worker->setOrderValidityMs(ms); });
}
