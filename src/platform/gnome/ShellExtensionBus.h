#pragma once

#include <QDBusMessage>
#include <QString>

namespace platform::gnome {

// Where Lurn's GNOME Shell extension (data/gnome-shell-extension) answers.
inline const QString kShellExtensionService = QStringLiteral("org.lurn.WindowControl");
inline const QString kShellExtensionPath = QStringLiteral("/org/lurn/WindowControl");
inline const QString kShellExtensionInterface = QStringLiteral("org.lurn.WindowControl");

// A shell that does not answer within these counts as gone: the closing
// pass's worker reports it, and the start goes on without the extension.
inline constexpr int kShellCallTimeoutMs = 2000;
inline constexpr int kShellProbeTimeoutMs = 2000;

// A call of one of the extension's methods. Nothing is started on the bus's
// behalf: the extension lives in the shell or not at all.
inline QDBusMessage shellExtensionCall(const QString& method)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        kShellExtensionService, kShellExtensionPath, kShellExtensionInterface, method);
    message.setAutoStartService(false);
    return message;
}

} // namespace platform::gnome
