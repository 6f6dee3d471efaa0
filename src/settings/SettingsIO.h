#pragma once

#include <QString>
#include <QStringList>

namespace platform {
class SettingsStore;
}

// What the main window keeps between runs, as its controls hold it.
struct StoredSettings
{
    QStringList names;
    QString rate1 = QStringLiteral("500");
    QString rate2 = QStringLiteral("1000");
    QString password; // as typed, UTF-8 text
};

// The most names ever loaded, whatever "Numero" claims.
inline constexpr int kMaxStoredNames = 10000;

// Loads every entry it can. An entry that cannot be read is treated as missing
// (its default is used) and its error message is appended to errors.
StoredSettings loadSettings(platform::SettingsStore& store, QStringList& errors);

// Saves in the stored order as one replacement of the store's file, so the
// file holds the whole old set or the whole new one; throws SettingsError
// naming the first entry when the save cannot be stored.
void saveSettings(platform::SettingsStore& store, const StoredSettings& settings);
