#include "remote/StationLink.h"

#include "records/ServerAddress.h"
#include "remote/PgConnection.h"

#include <QDir>
#include <QStandardPaths>
#include <QSysInfo>

#ifndef LURN_VERSION
#define LURN_VERSION ""
#endif

StationLink::StationLink(const QString& uri, const QString& station, const QString& ledgerPath,
                         LinkTiming timing, QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<RemoteCommand>();
    qRegisterMetaType<StationStatus>();
    qRegisterMetaType<LinkStatus>();
    QString why;
    const std::optional<ServerAddress> address = parseServerAddress(uri, why);
    if (!address) {
        m_status = {false, why};
        return;
    }
    if (station.trimmed().isEmpty()) {
        m_status = {false, QStringLiteral("El puesto no tiene nombre (Puesto)")};
        return;
    }
    m_status = {false, QStringLiteral("Conectando con el servidor…")};
    m_worker = new LinkWorker(connectionString(*address), station, QSysInfo::machineHostName(),
                              QStringLiteral(LURN_VERSION), ledgerPath, timing);
    m_worker->moveToThread(&m_thread);
    connect(m_worker, &LinkWorker::commandArrived, this, &StationLink::commandArrived);
    connect(m_worker, &LinkWorker::statusChanged, this, [this](const LinkStatus& s) {
        m_status = s;
        emit statusChanged(s);
    });
    m_thread.setObjectName(QStringLiteral("lurn-link"));
    m_thread.start();
    QMetaObject::invokeMethod(m_worker, &LinkWorker::start, Qt::QueuedConnection);
}

StationLink::~StationLink()
{
    if (!m_worker)
        return;
    // The link's thread may be waiting on the server (a lock held there):
    // that statement is cancelled, so the end of the program never waits on it.
    m_worker->interrupt();
    QMetaObject::invokeMethod(m_worker, &LinkWorker::stop, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

void StationLink::publish(const StationStatus& status)
{
    if (m_worker)
        QMetaObject::invokeMethod(
            m_worker, [w = m_worker, status] { w->publish(status); }, Qt::QueuedConnection);
}

void StationLink::answer(const QString& id, bool done, const QString& why)
{
    if (m_worker)
        QMetaObject::invokeMethod(
            m_worker, [w = m_worker, id, done, why] { w->answer(id, done, why); },
            Qt::QueuedConnection);
}

QString StationLink::defaultLedgerPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Lurn/orders.ledger");
}
