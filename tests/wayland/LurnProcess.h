#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

// The lurn executable as the desktop starts it, with settings of its own.
class LurnProcess final
{
public:
    // names: the programs to end, stored before the start as the operator
    // would have left them.
    explicit LurnProcess(const QStringList& names = {}, const QStringList& arguments = {})
    {
        {
            QSettings settings(m_config.path() + "/Lurn.conf", QSettings::IniFormat);
            settings.setValue("Noms/Numero", int(names.size()));
            for (int i = 0; i < names.size(); ++i)
                settings.setValue(QStringLiteral("Noms/Nom%1").arg(i + 1), names[i]);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        // As some Wayland sessions have it: the program must choose xcb all
        // the same.
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(LURN_EXECUTABLE), arguments);
    }
    ~LurnProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    LurnProcess(const LurnProcess&) = delete;
    LurnProcess& operator=(const LurnProcess&) = delete;

    QProcess& process() { return m_process; }
    qint64 pid() const { return m_process.processId(); }

    QByteArray standardError()
    {
        m_stderr += m_process.readAllStandardError();
        return m_stderr;
    }
    QByteArray standardOutput()
    {
        m_stdout += m_process.readAllStandardOutput();
        return m_stdout;
    }
    // Waits until a line of standard error starts with prefix; that line.
    QByteArray waitForErrorLine(const QByteArray& prefix, int ms = 20000)
    {
        QDeadlineTimer deadline(ms);
        for (;;) {
            for (const QByteArray& line : standardError().split('\n'))
                if (line.startsWith(prefix))
                    return line;
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return {};
            m_process.waitForReadyRead(100);
        }
    }
    bool endsWithin(int ms) { return m_process.waitForFinished(ms); }

private:
    QTemporaryDir m_config;
    QProcess m_process;
    QByteArray m_stderr;
    QByteArray m_stdout;
};
