#pragma once

#include "records/SessionRecord.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <vector>

// Reads a records file as an owner's own tool would: a separate connection,
// every column as stored.
class RecordsFile final
{
public:
    explicit RecordsFile(const QString& path)
        : m_name(QStringLiteral("test-reader-%1").arg(++counter()))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        db.open();
    }
    ~RecordsFile()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    RecordsFile(const RecordsFile&) = delete;
    RecordsFile& operator=(const RecordsFile&) = delete;

    // One string per row: every column, as text, separated by |.
    QStringList rows(const QString& where = QStringLiteral("1")) const
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        QStringList out;
        if (!q.exec(QStringLiteral("SELECT id, station, started_at, coalesce(ended_at, ''),"
                                   " planned_seconds, rate_per_hour, cost, end_reason,"
                                   " last_seen_at FROM sessions WHERE %1 ORDER BY started_at")
                        .arg(where)))
            return {QStringLiteral("error: ") + q.lastError().text()};
        while (q.next()) {
            QStringList columns;
            for (int i = 0; i < 9; ++i)
                columns << q.value(i).toString();
            out << columns.join(QLatin1Char('|'));
        }
        return out;
    }

    QVariant value(const QString& sql) const
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }

private:
    static int& counter()
    {
        static int n = 0;
        return n;
    }
    QString m_name;
};

// Changes a records file behind the program's back, as an owner's tool (or
// a fault) would; the connection stays open as long as the object lives.
class FileEditor final
{
public:
    explicit FileEditor(const QString& path)
        : m_name(QStringLiteral("test-editor-%1").arg(++counter()))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~FileEditor()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    FileEditor(const FileEditor&) = delete;
    FileEditor& operator=(const FileEditor&) = delete;

    // The error's text, empty when it ran.
    QString exec(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        return q.exec(sql) ? QString() : q.lastError().text() + QStringLiteral(": ") + sql;
    }

private:
    static int& counter()
    {
        static int n = 0;
        return n;
    }
    QString m_name;
};

// A file's bytes and time, to show it was left untouched.
inline QByteArray fingerprint(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) +
           QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
}

// The row as RecordsFile::rows() shows it.
inline QString rowText(const SessionRecord& r)
{
    return QStringList{r.id,
                       r.station,
                       isoUtcText(r.startedAtMs),
                       r.endedAtMs ? isoUtcText(*r.endedAtMs) : QString(),
                       QString::number(r.plannedSeconds),
                       QString::number(r.ratePerHour),
                       QString::number(r.cost),
                       endReasonKey(r.endReason),
                       isoUtcText(r.lastSeenAtMs)}
        .join(QLatin1Char('|'));
}

inline SessionRecord sessionRecord(const QString& id, const QString& station, std::int64_t startMs,
                                   std::int64_t cost = 0, EndReason reason = EndReason::Running)
{
    SessionRecord r;
    r.id = id;
    r.station = station;
    r.startedAtMs = startMs;
    r.plannedSeconds = 1800;
    r.ratePerHour = 500;
    r.cost = cost;
    r.endReason = reason;
    r.lastSeenAtMs = startMs + 60'000;
    if (reason != EndReason::Running)
        r.endedAtMs = r.lastSeenAtMs;
    return r;
}
