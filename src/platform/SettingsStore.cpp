#include "platform/SettingsStore.h"

#include "rules/IntegerText.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// storePath and openSettings are the one place that decides where and how the
// settings live: an ini file named after the key in the user's configuration
// directory ($XDG_CONFIG_HOME or ~/.config), with the key's sections as groups.
// Windows would keep the same layout in the registry instead:
//     QSettings("HKEY_CURRENT_USER\\Lurn", QSettings::NativeFormat)
QString storePath(const QString& name)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.config");
    return dir + QLatin1Char('/') + name + QStringLiteral(".conf");
}

std::unique_ptr<QSettings> openSettings(const QString& path)
{
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

// The file holds the scrambled password, so it is created private before
// QSettings writes it: QSettings would create it with the umask's permissions,
// while its atomic save (QSaveFile) keeps those of an existing file.
bool ensurePrivateFile(const QString& path)
{
    if (QFileInfo::exists(path))
        return true;
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        return false;
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST; // someone else created it meanwhile
    ::close(fd);
    return true;
}

SettingsError invalidType(const QString& entry)
{
    return SettingsError(QStringLiteral("Invalid data type for '%1'").arg(entry).toStdString());
}

SettingsError failedToSet(const QString& entry)
{
    return SettingsError(QStringLiteral("Failed to set data for '%1'").arg(entry).toStdString());
}

QString keyOf(const QString& section, const QString& entry)
{
    return section + QLatin1Char('/') + entry;
}

// The entry's text, or nothing when it is missing. QSettings turns ini values
// such as "a, b", "@ByteArray(...)" or "@Variant(...)" into other types; only
// plain text is ours.
std::optional<QString> readText(const QSettings& settings, const QString& section,
                                const QString& entry)
{
    const QString key = keyOf(section, entry);
    if (!settings.contains(key))
        return std::nullopt;
    const QVariant value = settings.value(key);
    if (value.typeId() != QMetaType::QString)
        throw invalidType(entry);
    return value.toString();
}

} // namespace

QString SettingsStore::pathOf(const QString& name)
{
    return storePath(name);
}

SettingsStore::SettingsStore(const QString& name) : SettingsStore(FilePath{storePath(name)}) {}

SettingsStore::SettingsStore(const FilePath& file) : m_path(file.path)
{
    // A store that cannot be created is no error here; the first write says so.
    ensurePrivateFile(m_path);
    m_settings = openSettings(m_path);
}

// QSettings writes what is still pending when it is destroyed; close() is where
// a failure to do so is reported.
SettingsStore::~SettingsStore() = default;

QString SettingsStore::readString(const QString& section, const QString& entry, const QString& def)
{
    if (!m_settings)
        return def;
    return readText(*m_settings, section, entry).value_or(def);
}

int SettingsStore::readInteger(const QString& section, const QString& entry, int def)
{
    if (!m_settings)
        return def;
    const std::optional<QString> text = readText(*m_settings, section, entry);
    if (!text)
        return def;
    const QByteArray bytes = text->toUtf8();
    return parseInteger(std::string_view(bytes.constData(), std::size_t(bytes.size())))
        .value_or(def);
}

void SettingsStore::writeString(const QString& section, const QString& entry, const QString& text)
{
    if (!m_settings)
        throw failedToSet(entry);
    renewAfterFailure();
    m_settings->setValue(keyOf(section, entry), text);
    if (m_batchOpen) {
        if (m_batchFirstEntry.isEmpty())
            m_batchFirstEntry = entry;
        return;
    }
    commit(entry);
}

void SettingsStore::writeInteger(const QString& section, const QString& entry, int value)
{
    writeString(section, entry, QString::number(value));
}

void SettingsStore::beginBatch()
{
    m_batchOpen = true;
    m_batchFirstEntry.clear();
}

void SettingsStore::commitBatch()
{
    if (!m_batchOpen)
        return;
    m_batchOpen = false;
    const QString first = std::exchange(m_batchFirstEntry, QString());
    if (first.isEmpty())
        return;
    if (!m_settings)
        throw failedToSet(first);
    commit(first);
}

void SettingsStore::close()
{
    if (!m_settings)
        return;
    try {
        commitBatch();
    } catch (const SettingsError&) {
        m_settings.reset();
        throw;
    }
    m_settings.reset();
}

QString SettingsStore::location() const
{
    return m_path;
}

// QSettings keeps the first error it met for the life of the object, so a
// later write could not tell its own outcome; a fresh object shares the parsed
// file (and any unsaved values) with the old one but starts with no error.
// Opening it writes those unsaved values at once, so the file must be made
// private first.
void SettingsStore::renewAfterFailure()
{
    if (m_settings->status() == QSettings::NoError)
        return;
    ensurePrivateFile(m_path);
    auto fresh = openSettings(m_path);
    m_settings = std::move(fresh);
}

// Writes the file now. QSettings replaces an ini file whole through QSaveFile
// (write a temporary file, then rename it over the old one) under a lock file,
// so an interrupted save leaves the old file. A status other than NoError here
// means the file was not replaced, or was found malformed when it was re-read
// just before; neither is reported as saved.
void SettingsStore::commit(const QString& entry)
{
    const bool created = ensurePrivateFile(m_path);
    m_settings->sync();
    if (!created || m_settings->status() != QSettings::NoError)
        throw failedToSet(entry);
}

} // namespace platform
