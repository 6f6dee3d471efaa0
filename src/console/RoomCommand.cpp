#include "console/RoomCommand.h"

#include "rules/IntegerText.h"

#include <QCoreApplication>

QString kindName(RoomCommand::Kind kind)
{
    switch (kind) {
    case RoomCommand::Kind::Start:
        return QStringLiteral("start");
    case RoomCommand::Kind::AddTime:
        return QStringLiteral("add_time");
    case RoomCommand::Kind::Stop:
        return QStringLiteral("stop");
    case RoomCommand::Kind::Message:
        return QStringLiteral("message");
    }
    return {};
}

QString describe(const RoomCommand& c)
{
    switch (c.kind) {
    case RoomCommand::Kind::Start:
        return QCoreApplication::translate("RoomCommand",
                                           "Iniciar %1: %2:%3:%4, Tarifa %5, aviso %6 min")
            .arg(c.station)
            .arg(c.hours)
            .arg(c.minutes, 2, 10, QLatin1Char('0'))
            .arg(c.seconds, 2, 10, QLatin1Char('0'))
            .arg(c.secondRate ? 2 : 1)
            .arg(c.warnMinutes);
    case RoomCommand::Kind::AddTime:
        return QCoreApplication::translate("RoomCommand", "Añadir %1%2 min a %3")
            .arg(c.addMinutes > 0 ? QStringLiteral("+") : QString())
            .arg(c.addMinutes)
            .arg(c.station);
    case RoomCommand::Kind::Stop:
        return QCoreApplication::translate("RoomCommand", "Parar %1").arg(c.station);
    case RoomCommand::Kind::Message:
        return QCoreApplication::translate("RoomCommand", "Mensaje a %1: «%2»")
            .arg(c.station, c.message.left(40));
    }
    return {};
}

std::int32_t checkCommandField(const QString& text, FieldRange range, QString& problem)
{
    const QString given = text.isEmpty() ? QStringLiteral("0") : text;
    const FieldCheck check = checkField(given.toStdString(), range.min, range.max);
    switch (check.verdict) {
    case FieldVerdict::Accepted:
        problem.clear();
        return check.value;
    case FieldVerdict::InvalidNumber:
        problem = QCoreApplication::translate("RoomCommand", "Número inválido");
        break;
    case FieldVerdict::OutOfRange:
        problem = QCoreApplication::translate("RoomCommand", "Fuera de rango");
        break;
    }
    return 0;
}
