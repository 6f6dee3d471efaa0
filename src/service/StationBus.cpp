#include "service/StationBus.h"

#include "service/OperatorConfig.h"
#include "service/StationCountdown.h"

#include <QDBusMessage>

#include <cstdio>

namespace {

// A countdown is at most 23:59:59, as the station window's fields allow.
constexpr uint kMaxHours = 23;
constexpr uint kMaxMinutes = 59;
constexpr uint kMaxSeconds = 59;
constexpr uint kMaxWarnMinutes = 23 * 60 + 59;

} // namespace

StationBus::StationBus(StationCountdown& countdown, QString configPath, QObject* parent)
    : QObject(parent), m_countdown(countdown), m_configPath(std::move(configPath))
{
    connect(&countdown, &StationCountdown::stateChanged, this, &StationBus::StateChanged);
    connect(&countdown, &StationCountdown::warnNow, this, &StationBus::WarnNow);
    connect(&countdown, &StationCountdown::closeNow, this, &StationBus::CloseNow);
}

QVariantMap StationBus::GetState() const
{
    return m_countdown.state();
}

std::optional<OperatorConfig> StationBus::admitted(const QString& password)
{
    OperatorConfig config = loadOperatorConfig(m_configPath);
    if (config.password.isEmpty()) {
        sendErrorReply(QString::fromLatin1(kRefused),
                       QStringLiteral("No hay ninguna clave del operador configurada en %1.")
                           .arg(m_configPath));
        return std::nullopt;
    }
    if (!isOperatorPassword(config, password)) {
        std::fprintf(stderr, "lurnd: a wrong password was given by %s\n",
                     qPrintable(message().service()));
        sendErrorReply(QString::fromLatin1(kRefused), QStringLiteral("La clave no es correcta."));
        return std::nullopt;
    }
    return config;
}

void StationBus::Start(const QString& password, uint hours, uint minutes, uint seconds,
                       bool secondRate, uint warnMinutes)
{
    const std::optional<OperatorConfig> config = admitted(password);
    if (!config)
        return;
    if (hours > kMaxHours || minutes > kMaxMinutes || seconds > kMaxSeconds ||
        warnMinutes > kMaxWarnMinutes || hours + minutes + seconds == 0) {
        sendErrorReply(QString::fromLatin1(kInvalidArgs),
                       QStringLiteral("La duración debe estar entre 0:00:01 y 23:59:59 y el "
                                      "aviso entre 0 y %1 minutos.")
                           .arg(kMaxWarnMinutes));
        return;
    }
    if (m_countdown.isRunning()) {
        sendErrorReply(QString::fromLatin1(kBusy),
                       QStringLiteral("Ya hay una cuenta atrás en marcha; deténgala antes de "
                                      "iniciar otra."));
        return;
    }
    if (!config->rate1 || !config->rate2) {
        sendErrorReply(
            QString::fromLatin1(kFailed),
            QStringLiteral("Las tarifas guardadas en %1 no son válidas.").arg(m_configPath));
        return;
    }
    StationCountdown::Numbers numbers;
    numbers.hours = std::int32_t(hours);
    numbers.minutes = std::int32_t(minutes);
    numbers.seconds = std::int32_t(seconds);
    numbers.warnMinutes = std::int32_t(warnMinutes);
    numbers.rate1 = *config->rate1;
    numbers.rate2 = *config->rate2;
    numbers.secondRate = secondRate;
    m_countdown.start(numbers, config->names);
}

void StationBus::Stop(const QString& password)
{
    if (admitted(password))
        m_countdown.stop();
}

bool StationBus::Unlock(const QString& password)
{
    if (!isOperatorPassword(loadOperatorConfig(m_configPath), password))
        return false;
    m_countdown.unlock();
    return true;
}
