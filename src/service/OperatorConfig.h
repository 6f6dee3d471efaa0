#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// The operator's settings as the service keeps them: the station program's
// own settings format (the names to close, the two rates, the scrambled
// password) in a file only root can read, so that the customer's account can
// neither read the password nor change a rate.
struct OperatorConfig
{
    QStringList names;
    std::optional<std::int32_t> rate1; // nothing: the stored text is no rate
    std::optional<std::int32_t> rate2;
    QString password; // as typed; empty when none is set
};

// $CONFIGURATION_DIRECTORY/lurnd.conf (systemd's ConfigurationDirectory=),
// or /etc/lurn/lurnd.conf.
QString operatorConfigPath();
// $STATE_DIRECTORY/countdown (systemd's StateDirectory=), or
// /var/lib/lurn/countdown.
QString countdownStatePath();

// Read at every use, so that an operator's change to the file counts at once;
// an entry that cannot be read counts as missing.
OperatorConfig loadOperatorConfig(const QString& path);

// Whether password opens what the operator's password guards. With no password
// set nothing opens: the customer could otherwise start time for free.
bool isOperatorPassword(const OperatorConfig& config, const QString& password);
