#include "platform/gnome/ShellExtensionTrust.h"

#include "platform/gnome/ShellExtensionBus.h"

#include <QByteArray>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QStringList>
#include <QVariantMap>
#include <QtGlobal>

namespace platform::gnome {
namespace {

const QString kShellService = QStringLiteral("org.gnome.Shell");

// GNOME Shell's ExtensionState.ENABLED and OUT_OF_DATE and ExtensionType.SYSTEM,
// the same on 43 to 49; the shell sends every number of an extension's info as
// a double.
constexpr int kStateEnabled = 1;
constexpr int kStateOutOfDate = 4;
constexpr int kTypeSystem = 1;

// The folders a trusted extension may come from: where this program was
// installed to, and for the tests (which cannot install under /usr) the one
// LURN_GNOME_SYSTEM_EXTENSIONS names. Either way the shell must also call
// the extension a system one, which it never does for a user's own copy.
QStringList systemFolders()
{
    QStringList folders{QDir::cleanPath(QStringLiteral(LURN_GNOME_EXTENSIONS_DIR))};
    const QString extra = qEnvironmentVariable("LURN_GNOME_SYSTEM_EXTENSIONS");
    if (!extra.isEmpty())
        folders.append(QDir::cleanPath(extra));
    return folders;
}

bool isInstalledCopy(const QString& path, const char* uuid)
{
    for (const QString& folder : systemFolders()) {
        if (path == folder + QLatin1Char('/') + QLatin1String(uuid))
            return true;
    }
    return false;
}

QString owner(QDBusConnection& bus, const QString& name)
{
    const QDBusReply<QString> reply = bus.interface()->serviceOwner(name);
    return reply.isValid() ? reply.value() : QString();
}

} // namespace

std::string shellExtensionDistrust(QDBusConnection& bus)
{
    const QString extensionOwner = owner(bus, kShellExtensionService);
    const QString shellOwner = owner(bus, kShellService);
    if (shellOwner.isEmpty())
        return "org.gnome.Shell is not on the session bus, so " +
               kShellExtensionService.toStdString() + " (owned by " + extensionOwner.toStdString() +
               ") is not GNOME Shell's";
    if (extensionOwner != shellOwner)
        return kShellExtensionService.toStdString() + " is owned by " +
               extensionOwner.toStdString() + ", not by GNOME Shell (" + shellOwner.toStdString() +
               ")";

    // Every uuid of Lurn's, not only the first that runs: the kiosk set-up
    // enables both, and a user's copy of the one this shell would skip (its
    // metadata naming this shell's version) runs beside the installed one.
    // Whatever it shows the shell, such a copy runs code inside it, next to
    // the extension that answers; even one that failed or is switched off
    // may have. One that runs is named first: the operator most needs that.
    bool anyEnabled = false;
    std::string dormant;
    for (const char* uuid : kGnomeExtensionUuids) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            shellOwner, QStringLiteral("/org/gnome/Shell"),
            QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("GetExtensionInfo"));
        call << QString::fromLatin1(uuid);
        const QDBusMessage reply = bus.call(call, QDBus::Block, kShellProbeTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return "GNOME Shell does not say which extension it runs (" +
                   reply.errorName().toStdString() + ": " + reply.errorMessage().toStdString() +
                   ")";
        const QVariantMap info = qdbus_cast<QVariantMap>(reply.arguments().at(0));
        // An extension the shell does not know comes back as an empty map.
        if (info.isEmpty())
            continue;
        const QString path = QDir::cleanPath(info.value(QStringLiteral("path")).toString());
        const int state = info.value(QStringLiteral("state")).toInt();
        const bool enabled = state == kStateEnabled;
        std::string distrust;
        if (info.value(QStringLiteral("type")).toInt() != kTypeSystem)
            distrust = std::string("GNOME Shell ") + (enabled ? "runs" : "has") +
                       " a user's own copy of " + uuid + " (" + path.toStdString() +
                       "), not the one installed with Lurn";
        // A system one the shell skipped as made for another version never
        // ran, wherever it lies.
        else if (state != kStateOutOfDate && !isInstalledCopy(path, uuid))
            distrust = std::string("GNOME Shell ") + (enabled ? "runs " : "has ") + uuid +
                       " from " + path.toStdString() + ", not from where Lurn installed it (" +
                       systemFolders().join(QStringLiteral(" or ")).toStdString() + ")";
        if (!distrust.empty() && enabled)
            return distrust;
        if (dormant.empty())
            dormant = distrust;
        anyEnabled = anyEnabled || enabled;
    }
    if (!dormant.empty())
        return dormant;
    if (!anyEnabled)
        return std::string("none of Lurn's extensions is enabled in GNOME Shell, yet something "
                           "answers on ") +
               kShellExtensionService.toStdString();
    return {};
}

} // namespace platform::gnome
