#include "remote/RemoteCommand.h"

#include <QTest>
#include <QTimeZone>

namespace {

const QDateTime kNow = QDateTime(QDate(2026, 3, 14), QTime(18, 0), QTimeZone::utc());

RemoteCommand start(std::optional<int> h, std::optional<int> m, std::optional<int> s,
                    std::optional<int> warn, bool second = false)
{
    RemoteCommand c;
    c.id = QStringLiteral("a");
    c.station = QStringLiteral("PC01");
    c.kind = QStringLiteral("start");
    c.hours = h;
    c.minutes = m;
    c.seconds = s;
    c.warnMinutes = warn;
    c.secondRate = second;
    c.expiresAt = kNow.addSecs(30);
    return c;
}

RemoteCommand of(const char* kind)
{
    RemoteCommand c;
    c.id = QStringLiteral("a");
    c.station = QStringLiteral("PC01");
    c.kind = QLatin1String(kind);
    c.expiresAt = kNow.addSecs(30);
    return c;
}

RemoteCommand addTime(std::optional<int> minutes)
{
    RemoteCommand c = of("add_time");
    c.addMinutes = minutes;
    return c;
}

RemoteCommand message(const QString& text)
{
    RemoteCommand c = of("message");
    c.message = text;
    return c;
}

// A station with a password, rates 60 and 90, counting 1 h of which 20 min have run.
StationFacts station()
{
    StationFacts f;
    f.station = QStringLiteral("PC01");
    f.now = kNow;
    f.hasPassword = true;
    f.running = true;
    f.plannedSeconds = 3600;
    f.elapsedSeconds = 1200;
    f.firstRate = 60;
    f.secondRate = 90;
    return f;
}

} // namespace

Q_DECLARE_METATYPE(StationFacts)

class TestRemoteCommand final : public QObject
{
    Q_OBJECT
private slots:
    void check_data()
    {
        QTest::addColumn<RemoteCommand>("command");
        QTest::addColumn<StationFacts>("facts");
        QTest::addColumn<QString>("why"); // empty: accepted
        QTest::addColumn<qint64>("planned");

        const StationFacts f = station();
        StationFacts idle = f;
        idle.running = false;
        StationFacts noPassword = f;
        noPassword.hasPassword = false;
        StationFacts badRate = f;
        badRate.secondRate = std::nullopt;
        StationFacts rateTooHigh = f;
        rateTooHigh.firstRate = 100001;
        StationFacts nearMax = f;
        nearMax.plannedSeconds = kMaxCountdownSeconds - 60;

        QTest::newRow("start 1:30:00 rate 1") << start(1, 30, 0, 5) << f << QString() << 5400LL;
        QTest::newRow("start at the top of every range")
            << start(23, 59, 59, 59, true) << f << QString() << kMaxCountdownSeconds;
        QTest::newRow("start hours 24") << start(24, 0, 0, 5) << f << "Fuera de rango" << 0LL;
        QTest::newRow("start minutes -1") << start(0, -1, 0, 5) << f << "Fuera de rango" << 0LL;
        QTest::newRow("start seconds 60") << start(0, 0, 60, 5) << f << "Fuera de rango" << 0LL;
        QTest::newRow("start warning 60") << start(1, 0, 0, 60) << f << "Fuera de rango" << 0LL;
        QTest::newRow("start minutes left empty")
            << start(1, std::nullopt, 0, 5) << f << "Número inválido" << 0LL;
        QTest::newRow("start without a password")
            << start(1, 0, 0, 5) << noPassword << "No hay clave guardada en el puesto" << 0LL;
        QTest::newRow("start on a rate that is not a number")
            << start(1, 0, 0, 5, true) << badRate << "Número inválido (tarifa 2 del puesto)" << 0LL;
        QTest::newRow("start on a rate over 100000")
            << start(1, 0, 0, 5) << rateTooHigh << "Fuera de rango (tarifa 1 del puesto)" << 0LL;

        QTest::newRow("add 30 min") << addTime(30) << f << QString() << 5400LL;
        QTest::newRow("take 40 min, down to what has run")
            << addTime(-40) << f << QString() << 1200LL;
        QTest::newRow("take 41 min, below what has run")
            << addTime(-41) << f << "No se puede quitar más tiempo del que ya ha pasado" << 0LL;
        QTest::newRow("add up to 23:59:59")
            << addTime(1) << nearMax << QString() << kMaxCountdownSeconds;
        QTest::newRow("add past 23:59:59") << addTime(2) << nearMax << "Fuera de rango" << 0LL;
        QTest::newRow("add a huge number") << addTime(2147483647) << f << "Fuera de rango" << 0LL;
        QTest::newRow("take a huge number")
            << addTime(-2147483647 - 1) << f << "No se puede quitar más tiempo del que ya ha pasado"
            << 0LL;
        QTest::newRow("add without minutes")
            << addTime(std::nullopt) << f << "Número inválido" << 0LL;
        QTest::newRow("add when nothing runs")
            << addTime(10) << idle << "No hay cuenta atrás en marcha" << 0LL;

        QTest::newRow("stop") << of("stop") << f << QString() << 0LL;
        QTest::newRow("stop when nothing runs")
            << of("stop") << idle << "No hay cuenta atrás en marcha" << 0LL;

        QTest::newRow("message of 500 characters outside the BMP")
            << message(QString::fromUcs4(std::u32string(500, U'\U0001F600').data(), 500)) << f
            << QString() << 0LL;
        QTest::newRow("message of 501 characters")
            << message(QString(501, u'x')) << f << "El mensaje pasa de 500 caracteres" << 0LL;
        QTest::newRow("message of blanks")
            << message(QStringLiteral("  ")) << f << "El mensaje está vacío" << 0LL;

        QTest::newRow("unknown kind") << of("reboot") << f << "Tipo de orden desconocido" << 0LL;
        RemoteCommand other = of("stop");
        other.station = QStringLiteral("PC02");
        QTest::newRow("for another station") << other << f << "La orden es para otro puesto" << 0LL;
        RemoteCommand late = of("stop");
        late.expiresAt = kNow;
        QTest::newRow("expired at this very moment") << late << f << "Orden caducada" << 0LL;
        RemoteCommand lateUnknown = of("reboot");
        lateUnknown.expiresAt = kNow.addSecs(-1);
        QTest::newRow("expired unknown kind") << lateUnknown << f << "Orden caducada" << 0LL;
    }

    void check()
    {
        QFETCH(RemoteCommand, command);
        QFETCH(StationFacts, facts);
        QFETCH(QString, why);
        QFETCH(qint64, planned);
        const CommandVerdict v = checkCommand(command, facts);
        QCOMPARE(v.why, why);
        QCOMPARE(v.accepted, why.isEmpty());
        if (v.accepted && command.kind != QLatin1String("stop") &&
            command.kind != QLatin1String("message"))
            QCOMPARE(v.newPlannedSeconds, planned);
    }

    void startGivesTheChosenRate()
    {
        QCOMPARE(checkCommand(start(1, 0, 0, 5, false), station()).ratePerHour, 60);
        QCOMPARE(checkCommand(start(1, 0, 0, 5, true), station()).ratePerHour, 90);
    }
};

QTEST_GUILESS_MAIN(TestRemoteCommand)
#include "TestRemoteCommand.moc"
