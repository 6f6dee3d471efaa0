#pragma once

#include "service/OperatorConfig.h"

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

class StationCountdown;

// org.lurn.Station1 on the system bus: what anyone on the seat may ask of the
// countdown. Every call that changes time or money carries the operator's
// password, checked here against the service's own root-only file; the bus
// policy (data/dbus/org.lurn.Station.conf) lets nobody but root own the name
// and nobody call anything but these methods.
//
// It is registered itself (its public slots and signals), not through a
// QDBusAbstractAdaptor: QDBusContext, which a refusal needs to answer with an
// error, is only set on the object a call is delivered to.
class StationBus final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.lurn.Station1")
public:
    static constexpr const char* kRefused = "org.lurn.Station1.Error.Refused";
    static constexpr const char* kBusy = "org.lurn.Station1.Error.Busy";
    static constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
    static constexpr const char* kFailed = "org.freedesktop.DBus.Error.Failed";

    StationBus(StationCountdown& countdown, QString configPath, QObject* parent = nullptr);

public slots:
    // running b, locked b, planned_seconds u, elapsed_ms x, remaining_seconds u,
    // rate_per_hour i, cost x, warn_minutes u, session_id s, names as.
    QVariantMap GetState() const;
    void Start(const QString& password, uint hours, uint minutes, uint seconds, bool secondRate,
               uint warnMinutes);
    void Stop(const QString& password);
    // Whether the password opened the lock; a wrong one changes nothing.
    bool Unlock(const QString& password);

signals:
    void StateChanged();
    void WarnNow();
    void CloseNow(const QStringList& names);

private:
    // Whether the caller gave the operator's password; refuses the call
    // otherwise.
    // The settings it was checked against, or nothing.
    std::optional<OperatorConfig> admitted(const QString& password);

    StationCountdown& m_countdown;
    const QString m_configPath;
};
