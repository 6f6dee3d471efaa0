// The console's rules and its model, without a display or a server.
#include "console/RoomCommand.h"
#include "console/RoomModel.h"
#include "console/StationStatus.h"
#include "rules/StoredValueBounds.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr std::int64_t kNow = 1'765'360'800'000LL; // 2025-12-10 10:00 UTC

StationRow row(const QString& name, const QString& state, std::int64_t updatedAgoMs = 1000,
               std::optional<std::int64_t> endsInMs = std::nullopt)
{
    StationRow r;
    r.station = name;
    r.state = state;
    r.updatedAtMs = kNow - updatedAgoMs;
    if (endsInMs)
        r.endsAtMs = kNow + *endsInMs;
    r.startedAtMs = kNow - 600'000;
    r.ratePerHour = 120;
    r.cost = 20;
    return r;
}

RoomSnapshotPtr snapshot(std::vector<StationRow> rows)
{
    auto s = std::make_shared<RoomSnapshot>();
    s->rows = std::move(rows);
    s->serverNowMs = kNow;
    return s;
}

} // namespace

class TestRoomRules final : public QObject
{
    Q_OBJECT
private slots:
    void stateWords_data();
    void stateWords();
    void timeLeft_data();
    void timeLeft();
    void commandFields_data();
    void commandFields();
    void snapshotChangesRowsInPlace();
    void stationsComingResetTheModel();
    void tickTouchesTimeLeftOnly();
    void tickShowsAQuietStationOffline();
    void serverClockGapIsKept();
    void storedValuesAreChecked_data();
    void storedValuesAreChecked();
    void theTotalNeverWraps();
};

void TestRoomRules::stateWords_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<qint64>("updatedAgoMs");
    QTest::addColumn<QString>("words");
    QTest::newRow("idle") << "idle" << qint64(1000) << "Libre";
    QTest::newRow("running") << "running" << qint64(1000) << "En uso";
    QTest::newRow("warning") << "warning" << qint64(1000) << "Aviso";
    QTest::newRow("ended") << "ended" << qint64(1000) << "Tiempo agotado";
    QTest::newRow("stopped") << "stopped" << qint64(1000) << "Parado";
    QTest::newRow("45 s old is still live") << "running" << qint64(45'000) << "En uso";
    QTest::newRow("just over 45 s old") << "running" << qint64(45'001) << "Sin conexión";
    QTest::newRow("idle and old") << "idle" << qint64(600'000) << "Sin conexión";
    QTest::newRow("unknown state") << "dancing" << qint64(1000) << "Desconocido";
    // A station's clock ahead of the server's must not count as quiet.
    QTest::newRow("updated in the future") << "running" << qint64(-5000) << "En uso";
}

void TestRoomRules::stateWords()
{
    QFETCH(QString, state);
    QFETCH(qint64, updatedAgoMs);
    QFETCH(QString, words);
    QCOMPARE(lookWords(stationLook(row(QStringLiteral("PC-01"), state, updatedAgoMs), kNow)),
             words);
}

void TestRoomRules::timeLeft_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<qint64>("endsInMs");
    QTest::addColumn<QString>("shown"); // empty: no time left shown
    QTest::newRow("an hour") << "running" << qint64(3'600'000) << "1:00:00";
    QTest::newRow("a part second rounds up") << "running" << qint64(59'001) << "0:01:00";
    QTest::newRow("last part second") << "warning" << qint64(1) << "0:00:01";
    QTest::newRow("at the end") << "running" << qint64(0) << "0:00:00";
    QTest::newRow("past the end, not negative") << "running" << qint64(-5000) << "0:00:00";
    QTest::newRow("more than a day after added time")
        << "running" << qint64(25LL * 3'600'000 + 61'000) << "25:01:01";
    QTest::newRow("stopped keeps no time left") << "stopped" << qint64(3'600'000) << "";
    QTest::newRow("ended keeps no time left") << "ended" << qint64(-1000) << "";
    QTest::newRow("idle") << "idle" << qint64(3'600'000) << "";
}

void TestRoomRules::timeLeft()
{
    QFETCH(QString, state);
    QFETCH(qint64, endsInMs);
    QFETCH(QString, shown);
    const auto left = secondsLeft(row(QStringLiteral("PC-01"), state, 1000, endsInMs), kNow);
    QCOMPARE(left ? formatDuration(*left) : QString(), shown);
    // A running row without an end shows nothing rather than inventing one.
    QVERIFY(!secondsLeft(row(QStringLiteral("PC-01"), state), kNow));
}

void TestRoomRules::commandFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("problem");
    QTest::newRow("empty is zero") << "" << 0 << 23 << 0 << "";
    QTest::newRow("hours at the top") << "23" << 0 << 23 << 23 << "";
    QTest::newRow("hours over") << "24" << 0 << 23 << 0 << "Fuera de rango";
    QTest::newRow("letters") << "1h" << 0 << 59 << 0 << "Número inválido";
    QTest::newRow("hex as the main window reads it") << "$1F" << 0 << 59 << 31 << "";
    QTest::newRow("negative added minutes")
        << "-30" << kAddMinutesRange.min << kAddMinutesRange.max << -30 << "";
    QTest::newRow("added minutes over a day")
        << "1441" << kAddMinutesRange.min << kAddMinutesRange.max << 0 << "Fuera de rango";
}

void TestRoomRules::commandFields()
{
    QFETCH(QString, text);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, value);
    QFETCH(QString, problem);
    QString said;
    QCOMPARE(checkCommandField(text, FieldRange{min, max}, said), value);
    QCOMPARE(said, problem);
}

void TestRoomRules::snapshotChangesRowsInPlace()
{
    RoomModel model;
    model.setSnapshot(snapshot({row("PC-01", "idle"), row("PC-02", "running", 1000, 60'000),
                                row("PC-03", "idle")}),
                      kNow);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    StationRow busy = row("PC-03", "running", 1000, 120'000);
    busy.cost = 5;
    model.setSnapshot(snapshot({row("PC-01", "idle"), row("PC-02", "running", 1000, 60'000), busy}),
                      kNow);
    QCOMPARE(reset.count(), 0);
    QCOMPARE(changed.count(), 1); // PC-03 alone
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 2);
    QCOMPARE(model.index(2, RoomModel::State).data().toString(), QStringLiteral("En uso"));
    QCOMPARE(model.index(2, RoomModel::TimeLeft).data().toString(), QStringLiteral("0:02:00"));
}

void TestRoomRules::stationsComingResetTheModel()
{
    RoomModel model;
    model.setSnapshot(snapshot({row("PC-01", "idle")}), kNow);
    StationRow a = row("PC-01", "idle");
    a.takingsToday = 150;
    StationRow b = row("PC-02", "idle");
    b.takingsToday = 250;
    model.setSnapshot(snapshot({a, b}), kNow);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.rowOf(QStringLiteral("PC-02")), 1);
    QCOMPARE(model.takingsTotal(), std::int64_t(400));
}

void TestRoomRules::tickTouchesTimeLeftOnly()
{
    RoomModel model;
    std::vector<StationRow> rows;
    for (int i = 0; i < 100; ++i)
        rows.push_back(row(QStringLiteral("PC-%1").arg(i, 3, 10, QLatin1Char('0')), "running", 1000,
                           3'600'000));
    model.setSnapshot(snapshot(rows), kNow);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.tick(kNow + 1000);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, RoomModel::TimeLeft));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(99, RoomModel::TimeLeft));
    QCOMPARE(model.index(0, RoomModel::TimeLeft).data().toString(), QStringLiteral("0:59:59"));
}

void TestRoomRules::tickShowsAQuietStationOffline()
{
    RoomModel model;
    model.setSnapshot(snapshot({row("PC-01", "running", 40'000, 3'600'000)}), kNow);
    QCOMPARE(model.index(0, RoomModel::State).data().toString(), QStringLiteral("En uso"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.tick(kNow + 6000);
    QCOMPARE(model.index(0, RoomModel::State).data().toString(), QStringLiteral("Sin conexión"));
    QCOMPARE(changed.count(), 2); // the time left, then the whole line
}

void TestRoomRules::serverClockGapIsKept()
{
    // The counter PC's clock is an hour behind the server's: the time left
    // still counts from the server's clock.
    RoomModel model;
    const std::int64_t localNow = kNow - 3'600'000;
    model.setSnapshot(snapshot({row("PC-01", "running", 1000, 600'000)}), localNow);
    QCOMPARE(model.index(0, RoomModel::TimeLeft).data().toString(), QStringLiteral("0:10:00"));
    model.tick(localNow + 60'000);
    QCOMPARE(model.index(0, RoomModel::TimeLeft).data().toString(), QStringLiteral("0:09:00"));
}

void TestRoomRules::storedValuesAreChecked_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<qlonglong>("value"); // for times: ms from the server's now
    QTest::addColumn<QString>("doubtful");
    QTest::newRow("cost zero") << "cost" << 0LL << "";
    QTest::newRow("cost at a day of the top rate") << "cost" << qlonglong(kMaxStoredCost) << "";
    QTest::newRow("cost past it") << "cost" << qlonglong(kMaxStoredCost + 1) << "cost";
    QTest::newRow("cost negative") << "cost" << -1LL << "cost";
    QTest::newRow("cost at 2^63 - 1") << "cost" << qlonglong(INT64_MAX) << "cost";
    QTest::newRow("length 23:59:59") << "planned" << qlonglong(kMaxStoredSeconds) << "";
    QTest::newRow("length a day") << "planned" << qlonglong(kMaxStoredSeconds + 1)
                                  << "planned_seconds";
    QTest::newRow("length negative") << "planned" << -1LL << "planned_seconds";
    QTest::newRow("rate negative") << "rate" << -1LL << "rate_per_hour";
    QTest::newRow("end in a day") << "ends" << qlonglong(kMaxStoredSeconds * 1000) << "";
    QTest::newRow("end in two days") << "ends" << 2 * 86'400'000LL << "ends_at";
    QTest::newRow("end long past") << "ends" << -3'650 * 86'400'000LL << "";
    QTest::newRow("written a minute ahead") << "updated" << 60'000LL << "";
    QTest::newRow("written an hour ahead") << "updated" << 3'600'000LL << "updated_at";
}

void TestRoomRules::storedValuesAreChecked()
{
    QFETCH(QString, column);
    QFETCH(qlonglong, value);
    QFETCH(QString, doubtful);
    StationRow r = row("PC-01", "running", 1000, 600'000);
    r.plannedSeconds = 3600;
    if (column == QLatin1String("cost"))
        r.cost = value;
    else if (column == QLatin1String("planned"))
        r.plannedSeconds = value;
    else if (column == QLatin1String("rate"))
        r.ratePerHour = value;
    else if (column == QLatin1String("ends"))
        r.endsAtMs = kNow + value;
    else if (column == QLatin1String("updated"))
        r.updatedAtMs = kNow + value;
    checkStoredValues(r, kNow);
    QCOMPARE(r.doubtful, doubtful);
    // A doubtful value is not kept to be shown or counted.
    if (column == QLatin1String("cost"))
        QCOMPARE(r.cost.has_value(), doubtful.isEmpty());
    if (column == QLatin1String("updated") && !doubtful.isEmpty())
        QCOMPARE(stationLook(r, kNow), StationLook::Offline);
    RoomModel model;
    model.setSnapshot(snapshot({r}), kNow);
    QCOMPARE(model.doubtfulStations().isEmpty(), doubtful.isEmpty());
    if (column == QLatin1String("cost"))
        QCOMPARE(model.index(0, RoomModel::Cost).data().toString() == QLatin1String("dudoso"),
                 !doubtful.isEmpty());
}

void TestRoomRules::theTotalNeverWraps()
{
    StationRow a = row("PC-01", "idle");
    StationRow b = row("PC-02", "idle");
    a.takingsToday = INT64_MAX - 5;
    b.takingsToday = 10;
    RoomModel model;
    model.setSnapshot(snapshot({a, b}), kNow);
    QCOMPARE(model.takingsTotal(), INT64_MAX);
}

QTEST_MAIN(TestRoomRules)
#include "TestRoomRules.moc"
