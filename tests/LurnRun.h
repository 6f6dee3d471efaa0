#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <csignal>
#include <initializer_list>
#include <utility>

// One run of the lurn executable for a test: the test's own environment on
// top of this one, standard error kept as it comes, killed when the test is
// done with it.
class LurnRun
{
public:
    using Variables = std::initializer_list<std::pair<QString, QString>>;

    LurnRun() = default;
    explicit LurnRun(Variables variables, const QStringList& arguments = {})
    {
        start(variables, arguments);
    }
    ~LurnRun() { kill(); }
    LurnRun(const LurnRun&) = delete;
    LurnRun& operator=(const LurnRun&) = delete;

    void start(Variables variables, const QStringList& arguments = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : variables)
            env.insert(name, value);
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(LURN_EXECUTABLE), arguments);
        m_process.waitForStarted();
    }

    void kill()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // Ends it as a session's end does (SIGTERM), killed if it is not gone
    // within ms.
    void terminate(int ms)
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(ms))
            kill();
    }

    QProcess& process() { return m_process; }
    qint64 pid() const { return m_process.processId(); }
    bool endsWithin(int ms) { return m_process.waitForFinished(ms); }

    // Standard error and standard output so far.
    QByteArray standardError()
    {
        m_stderr += m_process.readAllStandardError();
        return m_stderr;
    }
    QString errors() { return QString::fromUtf8(standardError()); }
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

private:
    QProcess m_process;
    QByteArray m_stderr;
    QByteArray m_stdout;
};
