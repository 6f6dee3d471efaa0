#include "remote/RemoteCommand.h"

namespace {

CommandVerdict refused(const QString& why)
{
    CommandVerdict v;
    v.why = why;
    return v;
}

const QString kInvalidNumber = QStringLiteral("Número inválido");
const QString kOutOfRange = QStringLiteral("Fuera de rango");

// An empty column is a field left blank by a program other than the console,
// which the window would not have accepted either.
bool inRange(const std::optional<int>& value, int min, int max, QString& why)
{
    if (!value) {
        why = kInvalidNumber;
        return false;
    }
    if (*value < min || *value > max) {
        why = kOutOfRange;
        return false;
    }
    return true;
}

} // namespace

CommandVerdict checkCommand(const RemoteCommand& command, const StationFacts& facts)
{
    if (command.station != facts.station)
        return refused(QStringLiteral("La orden es para otro puesto"));
    if (!command.expiresAt.isValid() || facts.now >= command.expiresAt)
        return refused(QStringLiteral("Orden caducada"));

    QString why;
    if (command.kind == QLatin1String("start")) {
        if (!facts.hasPassword)
            return refused(QStringLiteral("No hay clave guardada en el puesto"));
        if (!inRange(command.hours, 0, 23, why) || !inRange(command.minutes, 0, 59, why) ||
            !inRange(command.seconds, 0, 59, why) || !inRange(command.warnMinutes, 0, 59, why))
            return refused(why);
        if (!command.secondRate)
            return refused(QStringLiteral("Falta la tarifa"));
        const std::optional<int> rate = *command.secondRate ? facts.secondRate : facts.firstRate;
        if (!inRange(rate, 1, 100000, why))
            return refused(QStringLiteral("%1 (tarifa %2 del puesto)")
                               .arg(why)
                               .arg(*command.secondRate ? 2 : 1));
        CommandVerdict v;
        v.accepted = true;
        v.kind = CommandKind::Start;
        v.hours = *command.hours;
        v.minutes = *command.minutes;
        v.seconds = *command.seconds;
        v.warnMinutes = *command.warnMinutes;
        v.ratePerHour = *rate;
        v.newPlannedSeconds = qint64(v.hours) * 3600 + v.minutes * 60 + v.seconds;
        return v;
    }
    if (command.kind == QLatin1String("add_time")) {
        if (!command.addMinutes)
            return refused(kInvalidNumber);
        if (!facts.running)
            return refused(QStringLiteral("No hay cuenta atrás en marcha"));
        const qint64 planned = facts.plannedSeconds + qint64(*command.addMinutes) * 60;
        if (planned < facts.elapsedSeconds)
            return refused(QStringLiteral("No se puede quitar más tiempo del que ya ha pasado"));
        if (planned > kMaxCountdownSeconds)
            return refused(kOutOfRange);
        CommandVerdict v;
        v.accepted = true;
        v.kind = CommandKind::AddTime;
        v.newPlannedSeconds = planned;
        return v;
    }
    if (command.kind == QLatin1String("stop")) {
        if (!facts.running)
            return refused(QStringLiteral("No hay cuenta atrás en marcha"));
        CommandVerdict v;
        v.accepted = true;
        v.kind = CommandKind::Stop;
        return v;
    }
    if (command.kind == QLatin1String("message")) {
        if (!command.message || command.message->trimmed().isEmpty())
            return refused(QStringLiteral("El mensaje está vacío"));
        // Characters as the customer sees them, not UTF-16 units.
        if (command.message->toUcs4().size() > kMaxMessageLength)
            return refused(QStringLiteral("El mensaje pasa de 500 caracteres"));
        CommandVerdict v;
        v.accepted = true;
        v.kind = CommandKind::Message;
        return v;
    }
    return refused(QStringLiteral("Tipo de orden desconocido"));
}
