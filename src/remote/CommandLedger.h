#pragma once

#include <QHash>
#include <QString>

// The orders this station has carried out or refused, kept on disk so that
// an order is never carried out twice, even when the station restarts before
// the server has its answer. One line per order, appended and flushed to disk
// before the server is answered.
//
// What remains: an order carried out whose outcome the program could not
// write here (the power cut between the window acting and this file being
// written, a few milliseconds) is found pending at the next start and carried
// out again.
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
