#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

// Another program with windows on the compositor, run as a child process and
// read from its stdout: a native Wayland client (wayland_client) or an X11
// client through XWayland (closing_client).
class TestClient final
{
public:
    enum class Kind { Native, X11 };

    // The title is passed as bytes, so that it may be anything but NUL
    // (closing_client takes them as they are into _NET_WM_NAME).
    TestClient(Kind kind, const QByteArray& title, const QStringList& options = {}) : m_kind(kind)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The helpers are built with the sanitizers too; their leaks at exit
        // are not what these tests are about.
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString program = kind == Kind::Native ? QStringLiteral(LURN_WAYLAND_CLIENT)
                                                     : QStringLiteral(LURN_CLOSING_CLIENT);
        QByteArray command =
            "exec " + shellQuoted(program.toUtf8()) + " --title " + shellQuoted(title);
        for (const QString& option : options)
            command += " " + shellQuoted(option.toUtf8());
        // QProcess hands arguments over as UTF-8 text; a title that is not
        // UTF-8 reaches the client through printf's octal escapes instead.
        QByteArray escaped;
        for (unsigned char c : command)
            escaped += "\\" + QByteArray::number(c, 8).rightJustified(3, '0');
        m_process.start(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QString::fromLatin1("eval \"$(printf '" + escaped + "')\"")});
    }
    ~TestClient()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    Kind kind() const { return m_kind; }
    // Every window is shown.
    bool isReady()
    {
        read();
        return m_ready;
    }
    // Close requests it has had, in all.
    int closeRequests()
    {
        read();
        return m_closeRequests;
    }
    bool hasExited() const { return m_process.state() == QProcess::NotRunning; }
    // Native clients only: sets window n's title and waits until it is set.
    bool retitle(int n, const QByteArray& title)
    {
        m_titled = false;
        m_process.write("title " + QByteArray::number(n) + " " + title + "\n");
        // Generous: the client shares a loaded machine with the compositor.
        for (QDeadlineTimer deadline(30000); !m_titled && !deadline.hasExpired();) {
            m_process.waitForReadyRead(100);
            read();
        }
        return m_titled;
    }
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    qint64 pid() const { return m_process.processId(); }

private:
    static QByteArray shellQuoted(const QByteArray& bytes)
    {
        QByteArray quoted = "'";
        for (char c : bytes)
            quoted += c == '\'' ? QByteArray("'\\''") : QByteArray(1, c);
        return quoted + "'";
    }

    void read()
    {
        m_buffer += m_process.readAllStandardOutput();
        for (qsizetype eol; (eol = m_buffer.indexOf('\n')) >= 0;) {
            const QByteArray line = m_buffer.left(eol);
            m_buffer.remove(0, eol + 1);
            if (line.startsWith("ready"))
                m_ready = true;
            else if (line.startsWith("close ") || line.startsWith("delete "))
                ++m_closeRequests;
            else if (line == "titled")
                m_titled = true;
        }
    }

    Kind m_kind;
    QProcess m_process;
    QByteArray m_buffer;
    bool m_ready = false;
    bool m_titled = false;
    int m_closeRequests = 0;
};
