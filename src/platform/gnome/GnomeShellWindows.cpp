#include "platform/gnome/GnomeShellWindows.h"

#include "platform/gnome/ShellExtensionBus.h"
#include "platform/gnome/ShellExtensionTrust.h"

#include <QAtomicInteger>
#include <QByteArray>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QList>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::gnome {
namespace {

// The longest prefix of text that is at most max bytes and ends on a whole
// UTF-8 character.
std::string cutUtf8(const QByteArray& text, std::size_t max)
{
    std::size_t n = std::min(static_cast<std::size_t>(text.size()), max);
    if (n < static_cast<std::size_t>(text.size())) {
        // Step back over continuation bytes (10xxxxxx) to a character's start.
        while (n > 0 && (static_cast<unsigned char>(text[qsizetype(n)]) & 0xC0) == 0x80)
            --n;
    }
    return std::string(text.constData(), n);
}

std::string errorText(const QDBusMessage& reply)
{
    return reply.errorName().toStdString() + ": " + reply.errorMessage().toStdString();
}

// Nobody owns the extension's name: the extension is not enabled, or the
// shell is not GNOME Shell.
bool nobodyAnswers(const QDBusMessage& reply)
{
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

[[noreturn]] void fail(const char* what, const QDBusMessage& reply)
{
    throw std::runtime_error(std::string("GNOME Shell extension ") + kGnomeExtensionUuid + ": " +
                             what + " (" + errorText(reply) + ")");
}

// Reached from the closing worker's thread only, one call at a time. The
// connection is opened there, on first use, under a name of its own, and
// opened afresh after a failure: the shell may have been restarted, or the
// bus lost.
class ShellWindows final : public TopLevelWindows
{
public:
    explicit ShellWindows(int timeoutMs)
        : m_connectionName(QStringLiteral("lurn-gnome-shell-windows-%1").arg(nextNumber())),
          m_timeoutMs(timeoutMs)
    {
    }
    ~ShellWindows() override { QDBusConnection::disconnectFromBus(m_connectionName); }
    ShellWindows(const ShellWindows&) = delete;
    ShellWindows& operator=(const ShellWindows&) = delete;

    std::vector<TopLevelWindow> stack() override
    {
        const QDBusMessage reply = call(shellExtensionCall(QStringLiteral("List")));
        if (reply.type() != QDBusMessage::ReplyMessage)
            fail("the window list could not be read", reply);
        if (reply.signature() != QLatin1String("a(tsu)"))
            throw std::runtime_error(std::string("GNOME Shell extension ") + kGnomeExtensionUuid +
                                     " answered List with " + reply.signature().toStdString() +
                                     ", not a(tsu)");

        std::vector<TopLevelWindow> windows;
        const QDBusArgument list = reply.arguments().at(0).value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            qulonglong id = 0;
            QString title;
            uint pid = 0;
            list.beginStructure();
            list >> id >> title >> pid;
            list.endStructure();
            windows.push_back({id, cutUtf8(title.toUtf8(), TopLevelWindows::kMaxTitleBytes)});
        }
        list.endArray();
        return windows;
    }

    void requestClose(WindowHandle window) override { requestCloseAll({window}); }

    void requestCloseAll(const std::vector<WindowHandle>& windows) override
    {
        if (windows.empty())
            return;
        QList<qulonglong> ids;
        ids.reserve(qsizetype(windows.size()));
        for (WindowHandle w : windows)
            ids.append(w);
        QDBusMessage message = shellExtensionCall(QStringLiteral("Close"));
        message << QVariant::fromValue(ids);
        // The windows that were gone already are simply not in the answer:
        // nothing to do about them.
        const QDBusMessage reply = call(message);
        if (reply.type() != QDBusMessage::ReplyMessage)
            fail("the windows could not be asked to close", reply);
    }

private:
    static int nextNumber()
    {
        static QAtomicInteger<int> counter;
        return counter.fetchAndAddRelaxed(1);
    }

    QDBusMessage call(const QDBusMessage& message)
    {
        QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
        if (!bus.isConnected()) {
            const QString error = bus.lastError().message();
            QDBusConnection::disconnectFromBus(m_connectionName);
            throw std::runtime_error("no session bus for GNOME Shell (" + error.toStdString() +
                                     ")");
        }
        const QDBusMessage reply = bus.call(message, QDBus::Block, m_timeoutMs);
        if (reply.type() == QDBusMessage::ErrorMessage && !bus.isConnected())
            QDBusConnection::disconnectFromBus(m_connectionName);
        return reply;
    }

    const QString m_connectionName;
    const int m_timeoutMs;
};

} // namespace

void probeShellExtension(SessionFacts& facts)
{
    facts.gnomeExtensionFound = false;
    facts.gnomeExtensionVersion = 0;
    facts.gnomeExtensionDistrust.clear();
    const QString name = QStringLiteral("lurn-gnome-shell-probe");
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        if (!bus.isConnected()) {
            facts.gnomeExtensionError =
                "no session bus (" + bus.lastError().message().toStdString() + ")";
        } else {
            const QDBusMessage reply = bus.call(shellExtensionCall(QStringLiteral("Version")),
                                                QDBus::Block, kShellProbeTimeoutMs);
            if (reply.type() != QDBusMessage::ReplyMessage) {
                facts.gnomeExtensionError = nobodyAnswers(reply)
                                                ? std::string("not running on the session bus")
                                                : "does not answer (" + errorText(reply) + ")";
            } else if (reply.signature() != QLatin1String("u")) {
                facts.gnomeExtensionError =
                    "answers Version with " + reply.signature().toStdString() + ", not u";
            } else {
                facts.gnomeExtensionFound = true;
                facts.gnomeExtensionVersion = reply.arguments().at(0).toUInt();
                facts.gnomeExtensionError.clear();
                facts.gnomeExtensionDistrust = shellExtensionDistrust(bus);
            }
        }
    }
    QDBusConnection::disconnectFromBus(name);
}

std::unique_ptr<TopLevelWindows> openShellWindows(int timeoutMs)
{
    return std::make_unique<ShellWindows>(timeoutMs);
}

} // namespace platform::gnome
