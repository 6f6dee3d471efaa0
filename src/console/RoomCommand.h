#pragma once

#include <QString>

#include <cstdint>

// A command the counter sends to one station (a row of `commands`).
struct RoomCommand
{
    enum class Kind { Start, AddTime, Stop, Message };
    Kind kind = Kind::Stop;
    QString station;
    // start
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    bool secondRate = false;
    int warnMinutes = 0;
    // add_time
    int addMinutes = 0;
    // message
    QString message;
};

// The stored kind: start, add_time, stop, message.
QString kindName(RoomCommand::Kind kind);
// The log's words for it, e.g. "Añadir 15 min a PC-03".
QString describe(const RoomCommand& command);

// The fields of "Iniciar", with the main window's ranges.
struct FieldRange
{
    std::int32_t min;
    std::int32_t max;
};
constexpr FieldRange kHoursRange{0, 23};
constexpr FieldRange kMinutesRange{0, 59};
constexpr FieldRange kSecondsRange{0, 59};
constexpr FieldRange kWarnRange{0, 59};
// Added time: up to a day either way; the station refuses taking away more
// than is left.
constexpr FieldRange kAddMinutesRange{-1440, 1440};
constexpr int kMessageMaxLength = 500;

// One field's text checked as the main window checks its fields (empty counts
// as 0): the value, or the main window's message ("Número inválido",
// "Fuera de rango") in problem.
std::int32_t checkCommandField(const QString& text, FieldRange range, QString& problem);
