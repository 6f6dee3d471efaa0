#include "records/RecordsSettings.h"

#include "platform/SettingsStore.h"

#include <QSysInfo>

namespace {

const QString kGroup = QStringLiteral("Registro");
const QString kStation = QStringLiteral("Puesto");
const QString kServer = QStringLiteral("Servidor");

QString readOrEmpty(platform::SettingsStore& store, const QString& entry)
{
    try {
        return store.readString(kGroup, entry, {}).trimmed();
    } catch (const platform::SettingsError&) {
        return {};
    }
}

} // namespace

QString defaultStationName()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("Puesto") : host;
}

RecordsSettings loadRecordsSettings(platform::SettingsStore& store)
{
    RecordsSettings settings;
    settings.station = readOrEmpty(store, kStation);
    if (settings.station.isEmpty())
        settings.station = defaultStationName();
    settings.server = readOrEmpty(store, kServer);
    return settings;
}

void saveRecordsSettings(platform::SettingsStore& store, const RecordsSettings& settings)
{
    store.beginBatch();
    store.writeString(kGroup, kStation, settings.station.trimmed());
    store.writeString(kGroup, kServer, settings.server.trimmed());
    store.commitBatch();
}
