#pragma once

#include "platform/TopLevelWindows.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QStringList>

// Another program with top-level windows: the closing_client helper, run as a
// child process and read from its stdout ("ready <ids>", "delete <id>").
class ClosingClient final
{
public:
    explicit ClosingClient(const QStringList& arguments)
    {
        m_process.setProgram(QStringLiteral(LURN_CLOSING_CLIENT));
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
    }
    ~ClosingClient()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    ClosingClient(const ClosingClient&) = delete;
    ClosingClient& operator=(const ClosingClient&) = delete;

    // Its windows, once all of them are shown (or created, when unmapped).
    bool isReady() { return !windows().isEmpty(); }
    QList<platform::WindowHandle> windows()
    {
        read();
        return m_windows;
    }
    // The windows it was asked to close, in the order the requests came.
    QList<platform::WindowHandle> deletes()
    {
        read();
        return m_deletes;
    }
    bool hasExited() const { return m_process.state() == QProcess::NotRunning; }
    void raise() { m_process.write("raise\n"); }
    void kill() { m_process.kill(); }

private:
    void read()
    {
        m_buffer += m_process.readAllStandardOutput();
        for (qsizetype eol; (eol = m_buffer.indexOf('\n')) >= 0;) {
            const QList<QByteArray> words = m_buffer.left(eol).split(' ');
            m_buffer.remove(0, eol + 1);
            QList<platform::WindowHandle> ids;
            for (qsizetype i = 1; i < words.size(); ++i)
                ids.append(words[i].toUInt());
            if (words.first() == "ready")
                m_windows = ids;
            else if (words.first() == "delete")
                m_deletes += ids;
        }
    }

    QProcess m_process;
    QByteArray m_buffer;
    QList<platform::WindowHandle> m_windows;
    QList<platform::WindowHandle> m_deletes;
};
