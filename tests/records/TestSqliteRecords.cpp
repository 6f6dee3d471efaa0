// The records on this computer: a real SQLite file in a temporary directory.
#include "RecordsTestSupport.h"
#include "platform/SettingsStore.h"
#include "records/DriverLibraries.h"
#include "records/RecordKeeper.h"
#include "records/RecordsSettings.h"
#include "records/SqliteRecordStore.h"
#include "report/ReportLoader.h"
#include "settings/SettingsIO.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kTen = 1'765'360'800'000LL; // 2025-12-10 10:00 UTC

QString uuid(int n)
{
    return QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0'));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A SQLite database made by sqlite3's own rules, not ours.
void makeDatabase(const QString& path, const QStringList& statements)
{
    const QString name = QStringLiteral("maker");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        for (const QString& s : statements)
            QVERIFY2(QSqlQuery(db).exec(s), qPrintable(s));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// No file of this process can be opened while it lives (EMFILE), as when a
// program has used up its file handles.
class NoNewFiles final
{
public:
    NoNewFiles()
    {
        getrlimit(RLIMIT_NOFILE, &m_old);
        int highest = 0;
        for (const QString& fd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files))
            highest = std::max(highest, fd.toInt());
        rlimit tight = m_old;
        tight.rlim_cur = rlim_t(highest + 1);
        setrlimit(RLIMIT_NOFILE, &tight);
        // The handles closed below the highest would be taken again.
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            m_fillers.push_back(fd);
    }
    ~NoNewFiles()
    {
        for (int fd : m_fillers)
            ::close(fd);
        setrlimit(RLIMIT_NOFILE, &m_old);
    }
    NoNewFiles(const NoNewFiles&) = delete;
    NoNewFiles& operator=(const NoNewFiles&) = delete;

private:
    rlimit m_old{};
    std::vector<int> m_fillers;
};

} // namespace

class TestSqliteRecords final : public QObject
{
    Q_OBJECT

private slots:
    void newFileIsPrivateVersionedWal()
    {
        QTemporaryDir home;
        const QString dir = home.filePath("Lurn");
        const QString path = dir + "/records.sqlite";
        {
            SqliteRecordStore store(path);
            StoreProblem problem;
            QVERIFY2(store.open(problem), qPrintable(problemLogText(problem)));
            QVERIFY(store.save({sessionRecord(uuid(1), "A", kTen)}, problem));
            QCOMPARE(QFileInfo(path + "-wal").permissions() & 0x0077, QFile::Permissions());
        }
        // Owner, group and others (the User bits repeat the owner's for us).
        QCOMPARE(QFileInfo(dir).permissions() & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(QFileInfo(path).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
        RecordsFile file(path);
        QCOMPARE(file.value("PRAGMA journal_mode").toString(), QStringLiteral("wal"));
        QCOMPARE(file.value("PRAGMA user_version").toInt(), kRecordsSchemaVersion);
        QCOMPARE(file.value("SELECT group_concat(name, ' ') FROM (SELECT name FROM sqlite_master"
                            " WHERE type = 'index' AND name LIKE 'sessions_%' ORDER BY name)")
                     .toString(),
                 QStringLiteral("sessions_by_start sessions_by_station sessions_running"));
    }

    // A program that never runs a countdown leaves no file behind.
    void noRecordNoFile()
    {
        QTemporaryDir home;
        {
            RecordKeeper keeper(home.path(), {});
            keeper.closeInterrupted({});
            QVERIFY(keeper.waitUntilWritten(10000));
            QVERIFY(keeper.status().localProblem.isEmpty());
        }
        QCOMPARE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }

    // Written again by id: no second row, and the start stays as first written.
    void saveReplacesByIdAndLoadFilters()
    {
        QTemporaryDir home;
        SqliteRecordStore store(home.filePath("records.sqlite"));
        StoreProblem problem;
        QVERIFY(store.open(problem));
        SessionRecord a = sessionRecord(uuid(1), "A", kTen);
        const SessionRecord b =
            sessionRecord(uuid(2), "B", kTen + 3'600'000, 80, EndReason::Stopped);
        const SessionRecord yesterday = sessionRecord(uuid(3), "A", kTen - 86'400'000);
        QVERIFY(store.save({a, b, yesterday}, problem));
        SessionRecord ended = a;
        ended.startedAtMs += 5000; // never rewritten
        ended.endReason = EndReason::TimeUp;
        ended.endedAtMs = kTen + 1'800'000;
        ended.cost = 250;
        QVERIFY(store.save({ended}, problem));
        a = ended;
        a.startedAtMs = kTen;

        RecordsFile file(home.filePath("records.sqlite"));
        QCOMPARE(file.rows(), QStringList({rowText(yesterday), rowText(a), rowText(b)}));

        std::vector<SessionRecord> rows;
        QVERIFY(store.load({kTen - 1000, kTen + 86'400'000, {}}, rows, problem));
        QCOMPARE(rows.size(), std::size_t(2));
        a.id.clear();
        QCOMPARE(rows[0], a);
        QVERIFY(store.load({kTen - 1000, kTen + 86'400'000, "B"}, rows, problem));
        QCOMPARE(rows.size(), std::size_t(1));
        QCOMPARE(rows[0].station, QStringLiteral("B"));
        // Read through the SQLite Qt's driver runs on, not through Qt's values.
        QVERIFY(loadedSqlite());
        QStringList stations;
        QVERIFY(store.stations(stations, problem));
        QCOMPARE(stations, QStringList({"A", "B"}));
    }

    void runningRecordsCloseAsInterrupted()
    {
        QTemporaryDir home;
        SqliteRecordStore store(home.filePath("records.sqlite"));
        store.setQueueForServer(true);
        StoreProblem problem;
        QVERIFY(store.open(problem));
        const SessionRecord died = sessionRecord(uuid(1), "A", kTen, 42);
        const SessionRecord resumed = sessionRecord(uuid(2), "A", kTen + 1000, 7);
        const SessionRecord done = sessionRecord(uuid(3), "A", kTen + 2000, 9, EndReason::TimeUp);
        QVERIFY(store.save({died, resumed, done}, problem));
        int closed = 0;
        QVERIFY(store.closeInterrupted({uuid(2)}, closed, problem));
        QCOMPARE(closed, 1);
        SessionRecord interrupted = died;
        interrupted.endReason = EndReason::Interrupted;
        interrupted.endedAtMs = died.lastSeenAtMs;
        RecordsFile file(home.filePath("records.sqlite"));
        QCOMPARE(file.rows(), QStringList({rowText(interrupted), rowText(resumed), rowText(done)}));
        // Closing it is a change the server must hear of.
        QCOMPARE(
            file.value(QStringLiteral("SELECT revision FROM unsent WHERE id = '%1'").arg(uuid(1)))
                .toInt(),
            2);
    }

    // A confirmation of an older state leaves the newer one waiting.
    void unsentUntilTheLatestIsConfirmed()
    {
        QTemporaryDir home;
        SqliteRecordStore store(home.filePath("records.sqlite"));
        store.setQueueForServer(true);
        StoreProblem problem;
        QVERIFY(store.open(problem));
        SessionRecord a = sessionRecord(uuid(1), "A", kTen);
        QVERIFY(store.save({a}, problem));
        std::vector<SqliteRecordStore::Unsent> first;
        QVERIFY(store.takeUnsent(10, first, problem));
        QCOMPARE(first.size(), std::size_t(1));
        a.cost = 3;
        QVERIFY(store.save({a}, problem));
        QVERIFY(store.confirmSent(first, problem));
        int count = 0;
        QVERIFY(store.unsentCount(count, problem));
        QCOMPARE(count, 1);
        std::vector<SqliteRecordStore::Unsent> second;
        QVERIFY(store.takeUnsent(10, second, problem));
        QCOMPARE(second.front().record.cost, 3);
        QVERIFY(store.confirmSent(second, problem));
        QVERIFY(store.unsentCount(count, problem));
        QCOMPARE(count, 0);
    }

    void unusableFileLeftUntouched_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("not a database") << 0 << "no es un registro de Lurn";
        QTest::newRow("newer schema") << 1 << "versión más nueva";
        QTest::newRow("another program's database") << 2 << "no es un registro de Lurn";
    }

    // Left as it is, said in the report, and recording goes on beside it.
    void unusableFileLeftUntouched()
    {
        QFETCH(int, kind);
        QFETCH(QString, says);
        QTemporaryDir home;
        const QString bad = home.filePath("records.sqlite");
        if (kind == 0)
            writeFile(bad, QByteArray("Puesto;Importe\nuno;100\n").repeated(300));
        else if (kind == 1)
            makeDatabase(bad, {"CREATE TABLE sessions (id TEXT)", "PRAGMA user_version = 7"});
        else
            makeDatabase(bad, {"CREATE TABLE clientes (nombre TEXT)"});
        const QByteArray before = fingerprint(bad);

        const SessionRecord r = sessionRecord(uuid(1), "A", kTen, 5);
        {
            RecordKeeper keeper(home.path(), {});
            keeper.record(r);
            QVERIFY(keeper.waitUntilWritten(10000));
            const RecordsStatus status = keeper.status();
            QCOMPARE(status.localFile, home.filePath("records-2.sqlite"));
            QCOMPARE(status.skippedFiles.size(), 1);
            QVERIFY2(status.skippedFiles.front().contains(says),
                     qPrintable(status.skippedFiles.front()));
        }
        QCOMPARE(fingerprint(bad), before);
        QCOMPARE(RecordsFile(home.filePath("records-2.sqlite")).rows(), QStringList{rowText(r)});

        // The report alone finds the same file, and says why.
        ReportLoader loader;
        QSignalSpy loaded(&loader, &ReportLoader::loaded);
        loader.load({QString(), home.path(), QString()},
                    {QDate(2025, 12, 10), QDate(2025, 12, 10), QString()});
        QVERIFY(loaded.wait(10000));
        const auto result = loaded.front().front().value<LoadResult>();
        QVERIFY2(result.problem.contains(says), qPrintable(result.problem));
        QCOMPARE(result.content.sessions, 1);
        QVERIFY(result.origin.contains("records-2.sqlite"));
        QCOMPARE(fingerprint(bad), before);
    }

    // A file of the first schema opens as it is and is brought forward: its
    // records kept, the table of set-aside records added.
    void olderFileMigrated()
    {
        QTemporaryDir home;
        const QString path = home.filePath("records.sqlite");
        const SessionRecord old = sessionRecord(uuid(1), "A", kTen, 4, EndReason::TimeUp);
        makeDatabase(
            path, {"CREATE TABLE sessions (id TEXT PRIMARY KEY NOT NULL, station TEXT NOT NULL,"
                   " started_at TEXT NOT NULL, ended_at TEXT, planned_seconds INTEGER NOT NULL,"
                   " rate_per_hour INTEGER NOT NULL, cost INTEGER NOT NULL, end_reason TEXT NOT"
                   " NULL CHECK (end_reason IN ('running', 'time_up', 'stopped', 'closed',"
                   " 'interrupted')), last_seen_at TEXT NOT NULL)",
                   "CREATE TABLE unsent (id TEXT PRIMARY KEY NOT NULL, revision INTEGER NOT NULL)",
                   QStringLiteral("INSERT INTO sessions VALUES ('%1', 'A', '%2', '%3', 1800, 500,"
                                  " 4, 'time_up', '%3')")
                       .arg(old.id, isoUtcText(old.startedAtMs), isoUtcText(*old.endedAtMs)),
                   "PRAGMA user_version = 1"});
        const SessionRecord added = sessionRecord(uuid(2), "A", kTen + 5000, 1);
        {
            RecordKeeper keeper(home.path(), {});
            keeper.record(added);
            QVERIFY(keeper.waitUntilWritten(10000));
            QCOMPARE(keeper.status().localFile, path);
            QVERIFY(keeper.status().skippedFiles.isEmpty());
        }
        RecordsFile file(path);
        QCOMPARE(file.rows(), QStringList({rowText(old), rowText(added)}));
        QCOMPARE(file.value("PRAGMA user_version").toInt(), 2);
        QCOMPARE(file.value("SELECT count(*) FROM set_aside").toInt(), 0);
    }

    void recordsFileKinds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("used"); // the file the records go to
        QTest::addColumn<QString>("says"); // in the status while it is so
        QTest::newRow("good") << "good"
                              << "records.sqlite"
                              << "";
        QTest::newRow("empty file") << "empty"
                                    << "records.sqlite"
                                    << "";
        QTest::newRow("locked by another program, then released") << "locked"
                                                                  << "records.sqlite"
                                                                  << "bloqueado";
        QTest::newRow("no file handles left, then some") << "nofiles"
                                                         << "records.sqlite"
                                                         << "se reintentará";
        QTest::newRow("not a database") << "text"
                                        << "records-2.sqlite"
                                        << "no es un registro";
        QTest::newRow("another program's database") << "foreign"
                                                    << "records-2.sqlite"
                                                    << "no es un registro";
        QTest::newRow("newer version") << "newer"
                                       << "records-2.sqlite"
                                       << "versión más nueva";
    }

    // Only a file that is not Lurn's (or is newer) is passed over; one that
    // cannot be read just now is waited for, said in the status, and used
    // once it can be: the records are never split between two files.
    void recordsFileKinds()
    {
        QFETCH(QString, kind);
        QFETCH(QString, used);
        QFETCH(QString, says);
        QTemporaryDir home;
        const QString main = home.filePath("records.sqlite");
        const SessionRecord earlier = sessionRecord(uuid(1), "A", kTen, 2, EndReason::TimeUp);
        QStringList expected;
        if (kind == "good" || kind == "locked" || kind == "nofiles") {
            RecordKeeper keeper(home.path(), {});
            keeper.record(earlier);
            QVERIFY(keeper.waitUntilWritten(10000));
            expected << rowText(earlier);
        } else if (kind == "empty") {
            writeFile(main, {});
        } else if (kind == "text") {
            writeFile(main, QByteArray("Puesto;Importe\nuno;100\n").repeated(300));
        } else if (kind == "foreign") {
            makeDatabase(main, {"CREATE TABLE clientes (nombre TEXT)"});
        } else if (kind == "newer") {
            makeDatabase(main, {"CREATE TABLE sessions (id TEXT)", "PRAGMA user_version = 9"});
        }
        std::optional<FileEditor> lock;
        if (kind == "locked") {
            lock.emplace(main);
            QCOMPARE(lock->exec("PRAGMA locking_mode = EXCLUSIVE"), QString());
            QCOMPARE(lock->exec("BEGIN EXCLUSIVE"), QString());
            QCOMPARE(lock->exec("DELETE FROM unsent WHERE id = 'none'"), QString());
        }
        std::optional<NoNewFiles> noFiles;
        if (kind == "nofiles")
            noFiles.emplace();
        const SessionRecord r = sessionRecord(uuid(2), "A", kTen + 5000, 5);
        expected << rowText(r);
        {
            RecordKeeper keeper(home.path(), {}, RecordKeeperTiming{2000, 200, 100});
            keeper.record(r);
            if (noFiles) {
                QTRY_VERIFY2_WITH_TIMEOUT(keeper.status().localProblem.contains(says),
                                          qPrintable(keeper.status().localProblem), 30000);
                QVERIFY(keeper.status().localFile.isEmpty());
                noFiles.reset();
                QVERIFY(!QFileInfo::exists(home.filePath("records-2.sqlite")));
            }
            if (lock) {
                QTRY_VERIFY_WITH_TIMEOUT(keeper.status().localProblem.contains(says), 30000);
                QVERIFY(keeper.status().skippedFiles.isEmpty());
                QVERIFY(keeper.status().localFile.isEmpty());
                QVERIFY(!QFileInfo::exists(home.filePath("records-2.sqlite")));
                QCOMPARE(lock->exec("ROLLBACK"), QString());
                lock.reset();
            }
            // The keeper's own retry, not a new record, brings the file back.
            QTRY_VERIFY_WITH_TIMEOUT(!keeper.status().localFile.isEmpty() &&
                                         keeper.status().localProblem.isEmpty(),
                                     30000);
            QVERIFY(keeper.waitUntilWritten(30000));
            const RecordsStatus status = keeper.status();
            QCOMPARE(status.localFile, home.filePath(used));
            QVERIFY(status.localProblem.isEmpty());
            if (used == "records.sqlite")
                QVERIFY(status.skippedFiles.isEmpty());
            else
                QVERIFY2(status.skippedFiles.join('\n').contains(says),
                         qPrintable(status.skippedFiles.join('\n')));
        }
        QCOMPARE(RecordsFile(home.filePath(used)).rows(), expected);
        if (used == "records.sqlite")
            QVERIFY(!QFileInfo::exists(home.filePath("records-2.sqlite")));
    }

    // A records-2.sqlite an earlier run wrote while records.sqlite could not
    // be used: once that one is good, its sessions are taken in (reported,
    // and sent with the rest), and the file is kept under another name.
    void leftoverFileTakenIn()
    {
        QTemporaryDir home;
        const SessionRecord mainOnly = sessionRecord(uuid(1), "A", kTen, 2, EndReason::TimeUp);
        SessionRecord both = sessionRecord(uuid(2), "A", kTen + 1000);
        const SessionRecord leftoverOnly =
            sessionRecord(uuid(3), "A", kTen + 2000, 7, EndReason::Stopped);
        {
            RecordKeeper keeper(home.path(), {});
            keeper.record(mainOnly);
            keeper.record(both);
            QVERIFY(keeper.waitUntilWritten(10000));
        }
        // The other run took up the running session and ended it.
        both.cost = 9;
        both.lastSeenAtMs += 60'000;
        both.endReason = EndReason::TimeUp;
        both.endedAtMs = both.lastSeenAtMs;
        const QString leftover = home.filePath("records-2.sqlite");
        {
            SqliteRecordStore store(leftover);
            StoreProblem problem;
            QVERIFY(store.open(problem));
            QVERIFY(store.save({both, leftoverOnly}, problem));
        }
        {
            // A server that is not there: what was taken in waits to be sent.
            RecordKeeper keeper(home.path(),
                                QStringLiteral("postgresql://lurn@/cafe?host=/nonexistent"),
                                RecordKeeperTiming{60000, 60000, 100});
            QTRY_COMPARE_WITH_TIMEOUT(keeper.status().localFile, home.filePath("records.sqlite"),
                                      10000);
            QTRY_COMPARE_WITH_TIMEOUT(keeper.status().unsent, 2, 10000);
        }
        QCOMPARE(RecordsFile(home.filePath("records.sqlite")).rows(),
                 QStringList({rowText(mainOnly), rowText(both), rowText(leftoverOnly)}));
        QVERIFY(!QFileInfo::exists(leftover));
        QCOMPARE(RecordsFile(leftover + ".merged").rows(),
                 QStringList({rowText(both), rowText(leftoverOnly)}));

        // The report alone now finds everything in the one file.
        ReportLoader loader;
        QSignalSpy loaded(&loader, &ReportLoader::loaded);
        loader.load({QString(), home.path(), QString()},
                    {QDate(2025, 12, 10), QDate(2025, 12, 10), QString()});
        QVERIFY(loaded.wait(10000));
        QCOMPARE(loaded.front().front().value<LoadResult>().content.sessions, 3);
    }

    // A write the disk refuses is kept and made at the next change: nothing
    // is lost, and the report says what happened meanwhile.
    void fullDiskLosesNothing()
    {
        QTemporaryDir home;
        RecordKeeper keeper(home.path(), {});
        SessionRecord a = sessionRecord(uuid(1), "A", kTen, 1);
        keeper.record(a);
        QVERIFY(keeper.waitUntilWritten(10000));
        const QString wal = keeper.status().localFile + "-wal";
        QVERIFY(QFileInfo::exists(wal));

        // No file of this process may grow: the next write fails as on a
        // full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit tight = old;
        tight.rlim_cur = rlim_t(QFileInfo(wal).size());
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        a.cost = 2;
        keeper.record(a);
        const bool written = keeper.waitUntilWritten(10000);
        const RecordsStatus failing = keeper.status();
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &old), 0);
        QVERIFY(!written);
        QVERIFY2(failing.localProblem.contains("No se pudo guardar"),
                 qPrintable(failing.localProblem));

        const SessionRecord b = sessionRecord(uuid(2), "A", kTen + 5000, 9);
        keeper.record(b);
        QVERIFY(keeper.waitUntilWritten(10000));
        QVERIFY(keeper.status().localProblem.isEmpty());
        QCOMPARE(RecordsFile(keeper.status().localFile).rows(),
                 QStringList({rowText(a), rowText(b)}));
    }

    // Lurn.conf holds the main window's settings and the records' group: a
    // save of either keeps the other, even while both stores are open.
    void settingsGroupsKeepEachOther()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        StoredSettings main;
        main.names = QStringList{"chat"};
        main.password = "abc";
        platform::SettingsStore windowStore(QStringLiteral("Lurn"));
        saveSettings(windowStore, main);
        {
            platform::SettingsStore reportStore(QStringLiteral("Lurn"));
            saveRecordsSettings(reportStore, {"Puesto 3", "postgresql://lurn@caja/cafe"});
            reportStore.close();
        }
        main.names << "juego";
        saveSettings(windowStore, main);
        windowStore.close();

        QFile file(config.filePath("Lurn.conf"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text.contains("[Registro]\nPuesto=Puesto 3\nServidor=postgresql://lurn@caja/cafe"),
                 qPrintable(text));
        QVERIFY2(text.contains("Nom2=juego"), qPrintable(text));
        {
            platform::SettingsStore again(QStringLiteral("Lurn"));
            saveRecordsSettings(again, {"Puesto 4", ""});
            again.close();
        }
        // The file was replaced, not rewritten: read the new one.
        QFile replaced(config.filePath("Lurn.conf"));
        QVERIFY(replaced.open(QIODevice::ReadOnly));
        const QString after = QString::fromUtf8(replaced.readAll());
        QVERIFY2(after.contains("Nom2=juego") && after.contains("Puesto=Puesto 4"),
                 qPrintable(after));
    }
};

QTEST_GUILESS_MAIN(TestSqliteRecords)
#include "TestSqliteRecords.moc"
