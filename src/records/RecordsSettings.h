#pragma once

#include <QString>

namespace platform {
class SettingsStore;
}

// Where the records go, as kept in Lurn.conf, group "Registro".
struct RecordsSettings
{
    QString station; // "Puesto": this computer's name in the records
    QString server;  // "Servidor": a postgresql:// URI, or empty for this computer only
};

// The settings; an empty or missing "Puesto" gives the host name. An entry
// that cannot be read counts as missing.
RecordsSettings loadRecordsSettings(platform::SettingsStore& store);
// The same from Lurn.conf itself; a file that cannot be read gives the host
// name and no server (the reason goes to standard error).
RecordsSettings storedRecordsSettings();
// Writes both entries in one replacement of the file, leaving the other groups
// as they are. Throws SettingsError when the file cannot be written.
void saveRecordsSettings(platform::SettingsStore& store, const RecordsSettings& settings);

// Why a station's name cannot be used (Spanish), or empty when it can: at most
// kMaxStationNameLength characters of printable text. Anybody who can edit
// Lurn.conf sets it, and it ends up in every owner's spreadsheet.
inline constexpr int kMaxStationNameLength = 64;
QString stationNameProblem(const QString& name);

// The station's name when none is set: the host name.
QString defaultStationName();
