#pragma once

#include "remote/LinkWorker.h"
#include "remote/RemoteCommand.h"
#include "remote/StationStatus.h"

#include <QObject>
#include <QThread>

// The station's side of the counter link: its row in the stations table and
// the counter's orders from the commands table, over the café's PostgreSQL
// server. Every call returns at once; the network lives on the link's own
// thread, which reconnects in the background when the server goes away.
class StationLink final : public QObject
{
    Q_OBJECT
public:
    // uri: the Servidor setting; station: the Puesto setting; ledgerPath: the
    // file of orders already carried out ($XDG_DATA_HOME/Lurn/orders.ledger).
    // A URI that cannot be read leaves the link failing with the reason.
    StationLink(const QString& uri, const QString& station, const QString& ledgerPath,
                LinkTiming timing = {}, QObject* parent = nullptr);
    ~StationLink() override;
    StationLink(const StationLink&) = delete;
    StationLink& operator=(const StationLink&) = delete;

    // Writes the station's row now and then every heartbeat, until the next call.
    void publish(const StationStatus& status);
    // The window's outcome for an order it received: kept in the ledger, then
    // written to the server (at once, or when it comes back).
    void answer(const QString& id, bool done, const QString& why);

    LinkStatus status() const { return m_status; }

    // The default ledger file in $XDG_DATA_HOME/Lurn.
    static QString defaultLedgerPath();

signals:
    // An order for this station, on the GUI thread, handed over once; the
    // window checks it (checkCommand), carries it out and calls answer().
    void commandArrived(const RemoteCommand& command);
    void statusChanged(const LinkStatus& status);

private:
    QThread m_thread;
    LinkWorker* m_worker = nullptr;
    LinkStatus m_status;
};
