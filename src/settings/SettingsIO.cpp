#include "settings/SettingsIO.h"

#include "platform/SettingsStore.h"
#include "rules/KeyScramble.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace {

const QString kNames = QStringLiteral("Noms");
const QString kCount = QStringLiteral("Numero");
const QString kRates = QStringLiteral("Tarifes");
const QString kRate1 = QStringLiteral("Tarifa1");
const QString kRate2 = QStringLiteral("Tarifa2");
const QString kKeys = QStringLiteral("Claus");
const QString kKey = QStringLiteral("Clau");

QString nameEntry(int k)
{
    return QStringLiteral("Nom") + QString::number(k);
}

// Runs one read; a read that fails counts as a missing entry, so one bad value
// does not cost the operator every setting after it.
template <typename T, typename Read> T readOr(QStringList& errors, const T& def, Read read)
{
    try {
        return read();
    } catch (const platform::SettingsError& error) {
        errors.append(QString::fromStdString(error.what()));
        return def;
    }
}

// The stored password is a byte string with one character per byte; a
// character above U+00FF cannot have been written by saveSettings.
bool isByteText(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
}

QString unscramble(const QString& stored)
{
    const QByteArray bytes = stored.toLatin1();
    const std::string plain =
        UnscrambleKey(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    return QString::fromUtf8(plain.data(), qsizetype(plain.size()));
}

QString scramble(const QString& password)
{
    const QByteArray bytes = password.toUtf8();
    const std::string stored =
        ScrambleKey(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    return QString::fromLatin1(stored.data(), qsizetype(stored.size()));
}

} // namespace

StoredSettings loadSettings(platform::SettingsStore& store, QStringList& errors)
{
    StoredSettings loaded;

    // A count from a damaged or hostile file must neither hang nor exhaust
    // memory; no list the operator typed comes near the bound.
    const int count =
        std::clamp(readOr(errors, 0, [&] { return store.readInteger(kNames, kCount, 0); }), 0,
                   kMaxStoredNames);
    loaded.names.reserve(count);
    for (int k = 1; k <= count; ++k) {
        loaded.names.append(
            readOr(errors, QString(), [&] { return store.readString(kNames, nameEntry(k), {}); }));
    }

    const StoredSettings defaults;
    loaded.rate1 = readOr(errors, defaults.rate1,
                          [&] { return store.readString(kRates, kRate1, defaults.rate1); });
    loaded.rate2 = readOr(errors, defaults.rate2,
                          [&] { return store.readString(kRates, kRate2, defaults.rate2); });

    const QString stored =
        readOr(errors, QString(), [&] { return store.readString(kKeys, kKey, {}); });
    if (!isByteText(stored))
        errors.append(QStringLiteral("Invalid data type for '%1'").arg(kKey));
    else if (!stored.isEmpty())
        loaded.password = unscramble(stored);
    return loaded;
}

void saveSettings(platform::SettingsStore& store, const StoredSettings& settings)
{
    const int count = int(settings.names.size());
    store.beginBatch();
    for (int k = 1; k <= count; ++k)
        store.writeString(kNames, nameEntry(k), settings.names.at(k - 1));
    store.writeInteger(kNames, kCount, count);
    store.writeString(kRates, kRate1, settings.rate1);
    store.writeString(kRates, kRate2, settings.rate2);
    store.writeString(kKeys, kKey,
                      settings.password.isEmpty() ? QString() : scramble(settings.password));
    store.commitBatch();
}
