#pragma once

#include "platform/SettingsStore.h"
#include "settings/SettingsIO.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A private configuration directory, made XDG_CONFIG_HOME while it lives.
// Every case takes a new one: QSettings shares a parsed file between all the
// objects of a process that open the same path, so a store reopened on a path
// already used would read memory, not the disk.
class ConfigHome final
{
public:
    ConfigHome() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path())); }
    explicit ConfigHome(const QByteArray& fileText) : ConfigHome() { writeFile(fileText); }
    ConfigHome(const ConfigHome&) = delete;
    ConfigHome& operator=(const ConfigHome&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString file() const { return m_dir.filePath(QStringLiteral("Lurn.conf")); }

    void writeFile(const QByteArray& text) const
    {
        QFile out(file());
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(out.write(text), text.size());
    }

    QByteArray readFile() const
    {
        QFile in(file());
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
};

// Loads what a saved file holds as the next run would see it: from a copy in a
// directory this process has never opened, so the file is parsed from disk.
inline StoredSettings reloadFromDisk(const ConfigHome& saved, QStringList& errors)
{
    const ConfigHome copy(saved.readFile());
    platform::SettingsStore store(QStringLiteral("Lurn"));
    return loadSettings(store, errors);
}

inline StoredSettings storedSettings(const QStringList& names, const QString& rate1 = "500",
                                     const QString& rate2 = "1000", const QString& password = {})
{
    StoredSettings settings;
    settings.names = names;
    settings.rate1 = rate1;
    settings.rate2 = rate2;
    settings.password = password;
    return settings;
}

Q_DECLARE_METATYPE(StoredSettings)

#define COMPARE_SETTINGS(actual, expected)                                                         \
    do {                                                                                           \
        QCOMPARE((actual).names, (expected).names);                                                \
        QCOMPARE((actual).rate1, (expected).rate1);                                                \
        QCOMPARE((actual).rate2, (expected).rate2);                                                \
        QCOMPARE((actual).password, (expected).password);                                          \
    } while (false)
