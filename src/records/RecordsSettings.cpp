#include "records/RecordsSettings.h"

#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QList>
#include <QSysInfo>

#include <cstdio>

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

QString stationNameProblem(const QString& name)
{
    if (name.toUcs4().size() > kMaxStationNameLength)
        return QCoreApplication::translate("RecordsSettings",
                                           "El nombre del puesto pasa de %1 caracteres.")
            .arg(kMaxStationNameLength);
    for (const uint c : name.toUcs4())
        if (!QChar::isPrint(c))
            return QCoreApplication::translate(
                "RecordsSettings",
                "El nombre del puesto lleva caracteres que no se pueden mostrar.");
    return {};
}

RecordsSettings loadRecordsSettings(platform::SettingsStore& store)
{
    RecordsSettings settings;
    settings.station = readOrEmpty(store, kStation);
    if (const QString why = stationNameProblem(settings.station); !why.isEmpty()) {
        std::fprintf(stderr, "lurn: Puesto in Lurn.conf is not used: %s\n", qPrintable(why));
        settings.station.clear();
    }
    if (settings.station.isEmpty())
        settings.station = defaultStationName();
    settings.server = readOrEmpty(store, kServer);
    return settings;
}

RecordsSettings storedRecordsSettings()
{
    try {
        platform::SettingsStore store(QStringLiteral("Lurn"));
        return loadRecordsSettings(store);
    } catch (const platform::SettingsError& e) {
        std::fprintf(stderr, "lurn: %s\n", e.what());
        return {defaultStationName(), QString()};
    }
}

void saveRecordsSettings(platform::SettingsStore& store, const RecordsSettings& settings)
{
    store.beginBatch();
    store.writeString(kGroup, kStation, settings.station.trimmed());
    store.writeString(kGroup, kServer, settings.server.trimmed());
    store.commitBatch();
}
