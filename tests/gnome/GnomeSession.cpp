#include "GnomeSession.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QTest>

namespace {

const QString kService = QStringLiteral("org.lurn.WindowControl");
const QString kPath = QStringLiteral("/org/lurn/WindowControl");

const QString kRemoteDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString kRemoteSession = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");

// How long a call to the shell may take: generous, as the shell shares a
// loaded machine's two cores with a build.
constexpr int kCallTimeoutMs = 20000;

QDBusMessage callExtension(const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kService, method);
    m.setArguments(arguments);
    return QDBusConnection::sessionBus().call(m, QDBus::Block, kCallTimeoutMs);
}

} // namespace

namespace shellExtension {

QList<Window> list()
{
    const QDBusMessage reply = callExtension(QStringLiteral("List"));
    QList<Window> windows;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        QTest::qFail(qPrintable(QStringLiteral("List failed: ") + reply.errorMessage()), __FILE__,
                     __LINE__);
        return windows;
    }
    const QDBusArgument array = reply.arguments().at(0).value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd()) {
        Window w;
        qulonglong id = 0;
        array.beginStructure();
        array >> id >> w.title >> w.pid;
        array.endStructure();
        w.id = id;
        windows.append(w);
    }
    array.endArray();
    return windows;
}

QList<platform::WindowHandle> close(const QList<platform::WindowHandle>& ids)
{
    QList<qulonglong> wire(ids.begin(), ids.end());
    const QDBusMessage reply = callExtension(QStringLiteral("Close"), {QVariant::fromValue(wire)});
    if (reply.type() != QDBusMessage::ReplyMessage) {
        QTest::qFail(qPrintable(QStringLiteral("Close failed: ") + reply.errorMessage()), __FILE__,
                     __LINE__);
        return {};
    }
    const auto asked = qdbus_cast<QList<qulonglong>>(reply.arguments().at(0));
    return {asked.begin(), asked.end()};
}

bool isOnBus()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService);
}

QString uuid()
{
    // org.gnome.Shell's ShellVersion: "43.9", "48.7".
    static const QString loaded = [] {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        m << QStringLiteral("org.gnome.Shell") << QStringLiteral("ShellVersion");
        const QDBusMessage reply =
            QDBusConnection::sessionBus().call(m, QDBus::Block, kCallTimeoutMs);
        const QString version =
            reply.arguments().value(0).value<QDBusVariant>().variant().toString();
        return version.section(QLatin1Char('.'), 0, 0).toInt() >= 45
                   ? QStringLiteral("lurn-windows-45@lurn")
                   : QStringLiteral("lurn-windows@lurn");
    }();
    return loaded;
}

bool setEnabled(bool enabled)
{
    QProcess tool;
    tool.start(QStringLiteral("gnome-extensions"),
               {enabled ? QStringLiteral("enable") : QStringLiteral("disable"), uuid()});
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
        return false;
    QDeadlineTimer deadline(30000);
    while (isOnBus() != enabled && !deadline.hasExpired())
        QTest::qWait(20);
    return isOnBus() == enabled;
}

int depthOf(const QList<Window>& windows, const QString& title)
{
    for (qsizetype i = 0; i < windows.size(); ++i)
        if (windows[i].title == title)
            return int(i);
    return -1;
}

} // namespace shellExtension

namespace shellFocus {

bool activate(const QString& title)
{
    const QString name = QStringLiteral("org.lurn.TestFocus");
    QDBusMessage m = QDBusMessage::createMethodCall(name, QStringLiteral("/org/lurn/TestFocus"),
                                                    name, QStringLiteral("Activate"));
    m << title;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(m, QDBus::Block, kCallTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

} // namespace shellFocus

RemoteInput::RemoteInput()
{
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(kRemoteDesktop,
                                       QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                       kRemoteDesktop, QStringLiteral("CreateSession")),
        QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return;
    // The session belongs to this connection and ends with it.
    const QString session = reply.arguments().at(0).value<QDBusObjectPath>().path();
    QDBusMessage start = QDBusMessage::createMethodCall(kRemoteDesktop, session, kRemoteSession,
                                                        QStringLiteral("Start"));
    if (QDBusConnection::sessionBus().call(start, QDBus::Block, kCallTimeoutMs).type() ==
        QDBusMessage::ReplyMessage)
        m_session = session;
}

RemoteInput::~RemoteInput()
{
    if (!m_session.isEmpty())
        call(QStringLiteral("Stop"), {});
}

bool RemoteInput::call(const QString& method, const QVariantList& arguments)
{
    QDBusMessage m =
        QDBusMessage::createMethodCall(kRemoteDesktop, m_session, kRemoteSession, method);
    m.setArguments(arguments);
    return QDBusConnection::sessionBus().call(m, QDBus::Block, kCallTimeoutMs).type() ==
           QDBusMessage::ReplyMessage;
}

void RemoteInput::key(uint keysym)
{
    call(QStringLiteral("NotifyKeyboardKeysym"), {keysym, true});
    call(QStringLiteral("NotifyKeyboardKeysym"), {keysym, false});
}

void RemoteInput::type(const QString& text)
{
    // Latin-1 characters are their own keysyms.
    for (QChar c : text)
        key(c.unicode());
}

void RemoteInput::leaveOverview()
{
    key(0xff1b); // Escape
}

WaylandClient::WaylandClient(const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    // It plays another program; what it leaks at exit is not ours to report.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    m_process.setProcessEnvironment(env);
    m_process.setProgram(QStringLiteral(LURN_WAYLAND_CLIENT));
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
}

WaylandClient::~WaylandClient()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

void WaylandClient::read()
{
    m_buffer += m_process.readAllStandardOutput();
    for (qsizetype eol; (eol = m_buffer.indexOf('\n')) >= 0;) {
        const QList<QByteArray> words = m_buffer.left(eol).split(' ');
        m_buffer.remove(0, eol + 1);
        if (words.first() == "shown")
            m_shown = true;
        else if (words.first() == "active")
            m_active = true;
        else if (words.first() == "inactive")
            m_active = false;
        else if (words.first() == "close" && words.size() == 2)
            m_closes.append(words[1].toInt());
    }
}

QString titled(const QString& title)
{
    return title + QStringLiteral(" [") + QString::fromUtf8(QTest::currentTestFunction()) +
           QStringLiteral("/") + QString::fromUtf8(QTest::currentDataTag()) + QStringLiteral("]");
}
