#include "service/OperatorConfig.h"

#include "platform/SettingsStore.h"
#include "rules/IntegerText.h"
#include "settings/SettingsIO.h"

#include <QtGlobal>

#include <cstdio>

namespace {

// systemd hands the service its directories; without it (by hand, tests) the
// usual places.
QString directoryFromEnvironment(const char* variable, const QString& fallback)
{
    const QString given = qEnvironmentVariable(variable);
    // systemd lists several directories separated by ':' when a unit names
    // more than one; ours names one.
    return given.isEmpty() ? fallback : given.section(QLatin1Char(':'), 0, 0);
}

std::optional<std::int32_t> rateOf(const QString& text)
{
    const QByteArray bytes = text.trimmed().toUtf8();
    const std::optional<std::int32_t> rate =
        parseInteger(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    if (!rate || *rate < 0)
        return std::nullopt;
    return rate;
}

} // namespace

QString operatorConfigPath()
{
    return directoryFromEnvironment("CONFIGURATION_DIRECTORY", QStringLiteral("/etc/lurn")) +
           QStringLiteral("/lurnd.conf");
}

QString countdownStatePath()
{
    return directoryFromEnvironment("STATE_DIRECTORY", QStringLiteral("/var/lib/lurn")) +
           QStringLiteral("/countdown");
}

OperatorConfig loadOperatorConfig(const QString& path)
{
    platform::SettingsStore store(platform::SettingsStore::FilePath{path});
    QStringList errors;
    const StoredSettings stored = loadSettings(store, errors);
    for (const QString& error : errors)
        std::fprintf(stderr, "lurnd: %s: %s\n", qPrintable(path), qPrintable(error));
    OperatorConfig config;
    config.names = stored.names;
    config.rate1 = rateOf(stored.rate1);
    config.rate2 = rateOf(stored.rate2);
    config.password = stored.password;
    return config;
}

bool isOperatorPassword(const OperatorConfig& config, const QString& password)
{
    return !config.password.isEmpty() && password == config.password;
}
