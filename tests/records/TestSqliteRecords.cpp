// The records on this computer: a real SQLite file in a temporary directory.
#include "RecordsTestSupport.h"
#include "records/DriverLibraries.h"
#include "SettingsIO.h"
#include "platform/SettingsStore.h"
#include "records/RecordKeeper.h"
#include "records/RecordsSettings.h"
#include "records/SqliteRecordStore.h"
#include "report/ReportLoader.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

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
