#pragma once

#include <QHash>
#include <QString>

// The orders this station has carried out or refused, kept on disk so that
// an order is never carried out twice, even when the station restarts before
// the server has its answer. One line per order, appended and flushed to disk
// before the server is answered.
//
// An order that changes the countdown is also named in the kept countdown,
// in the same write as its change and before it is answered (KeptOrders):
// that, not this file, keeps it from being carried out twice. What this file
// alone covers: refusals, and messages, of which one shown in the instant
// before its line is written (a kill in those few milliseconds) is shown
// again at the next start.
class CommandLedger final
{
public:
    struct Entry
    {
        bool done = false;
        QString answer;
    };

    // path: a file in $XDG_DATA_HOME/Lurn; read at once (a damaged line is skipped).
    explicit CommandLedger(QString path);

    const Entry* find(const QString& id) const;
    // False with the reason when the file could not be written.
    bool record(const QString& id, bool done, const QString& answer, QString& why);

private:
    QString m_path;
    QHash<QString, Entry> m_entries;
};
