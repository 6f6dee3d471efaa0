#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <sys/types.h>

// A dbus-daemon of its own that stands for the system bus: the system bus's
// default policy (as Debian's /usr/share/dbus-1/system.conf has it) with the
// policy file under test included, listening on a socket in a directory
// anyone may enter, so that an unprivileged caller can reach it. Stopped by
// its PID when destroyed.
class PrivateSystemBus final
{
public:
    explicit PrivateSystemBus(const QString& policyFile)
    {
        if (!m_dir.isValid())
            return;
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ReadGroup | QFile::ExeGroup |
                                                QFile::ReadOther | QFile::ExeOther);
        m_socket = m_dir.filePath(QStringLiteral("system_bus_socket"));
        const QString config = m_dir.filePath(QStringLiteral("system.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(configText(m_socket, policyFile).toUtf8());
        file.close();
        m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + config});
    }
    ~PrivateSystemBus()
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_daemon.processId()), SIGTERM);
            m_daemon.waitForFinished(30'000);
        }
    }
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    bool started() { return m_daemon.state() == QProcess::Running || m_daemon.waitForStarted(); }
    // Whether it listens yet.
    bool listening() const { return QFile::exists(m_socket); }
    QString address() const { return QStringLiteral("unix:path=") + m_socket; }
    QString directory() const { return m_dir.path(); }

private:
    static QString configText(const QString& socket, const QString& policyFile)
    {
        return QStringLiteral(
                   R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <auth>EXTERNAL</auth>
  <listen>unix:path=%1</listen>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Properties"/>
    <deny send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"
          send_member="UpdateActivationEnvironment"/>
    <deny send_destination="org.freedesktop.DBus"
          send_interface="org.freedesktop.DBus.Debug.Stats"/>
  </policy>
  <include>%2</include>
</busconfig>
)")
            .arg(socket, policyFile);
    }

    QTemporaryDir m_dir;
    QString m_socket;
    QProcess m_daemon;
};
