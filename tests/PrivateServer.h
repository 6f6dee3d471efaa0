#pragma once
// The private PostgreSQL server that tests/with-postgres.sh starts for a test:
// stopped and started again under it, as a café's server goes away and back.
#include <QProcess>
#include <QString>
#include <QStringList>

// pg_ctl with this verb ("stop", "start", …), run as the server's user; true
// when it succeeded.
inline bool serverCtl(const QString& verb)
{
    QStringList args = QProcess::splitCommand(QString::fromLocal8Bit(qgetenv("LURN_PG_CTL")));
    const QString program = args.takeFirst();
    QProcess ctl;
    ctl.setWorkingDirectory(QString::fromLocal8Bit(qgetenv("LURN_PG_HOST")));
    ctl.start(program, args << verb);
    return ctl.waitForFinished(60000) && ctl.exitCode() == 0;
}
