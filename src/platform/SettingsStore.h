#pragma once

#include <QString>

#include <memory>
#include <stdexcept>

class QSettings;

namespace platform {

// A failure of the settings store; what() is the message shown to the user.
class SettingsError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The per-user settings store seen as an ini file: one key is the file,
// sections are its groups, every entry is a string.
class SettingsStore final
{
public:
    // Opens, or creates, the store called name for the current user.
    explicit SettingsStore(const QString& name);
    // Opens, or creates, the store kept in the file at path, whoever runs:
    // for the service, whose settings are the system's and not a user's.
    struct FilePath
    {
        QString path;
    };
    explicit SettingsStore(const FilePath& file);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The entry's text, or def when the section or the entry is missing.
    // Throws SettingsError "Invalid data type for '<entry>'" for a non-string.
    QString readString(const QString& section, const QString& entry, const QString& def);
    // The entry read as text and converted; def when missing or not a number.
    int readInteger(const QString& section, const QString& entry, int def);
    // Stores the text and writes the file; throws SettingsError
    // "Failed to set data for '<entry>'" when it cannot be written to disk.
    void writeString(const QString& section, const QString& entry, const QString& text);
    void writeInteger(const QString& section, const QString& entry, int value);

    // Holds the writes that follow in memory until commitBatch(), so that a
    // whole save replaces the file once: afterwards the file holds either all
    // of them or none. A failing commit throws SettingsError naming the first
    // entry written in the batch.
    void beginBatch();
    void commitBatch();

    // Commits an open batch, then releases the store; later reads give their
    // defaults and later writes fail.
    void close();

    // Where the store lives (for diagnostics and tests).
    QString location() const;
    // Where the store called name lives, without opening or creating it.
    static QString pathOf(const QString& name);

private:
    void renewAfterFailure();
    void commit(const QString& entry);

    QString m_path;
    std::unique_ptr<QSettings> m_settings;
    bool m_batchOpen = false;
    QString m_batchFirstEntry;
};

} // namespace platform
