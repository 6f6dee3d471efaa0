#include "language/Language.h"

#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {

const QString kGroup = QStringLiteral("Lurn");
const QString kEntry = QStringLiteral("Idioma");

// Both live as long as the program: Qt keeps only pointers to them.
std::unique_ptr<QTranslator> g_lurn;
std::unique_ptr<QTranslator> g_qt;

void replace(std::unique_ptr<QTranslator>& slot, const QLocale& locale, const QString& name,
             const QString& dir)
{
    if (slot)
        QCoreApplication::removeTranslator(slot.get());
    slot = std::make_unique<QTranslator>();
    // Tries each of the locale's languages in turn (for the desktop's, every
    // one LANGUAGE lists): lurn_ca_ES.qm, lurn_ca.qm…; none found is Spanish.
    if (slot->load(locale, name, QStringLiteral("_"), dir))
        QCoreApplication::installTranslator(slot.get());
    else
        slot.reset();
}

} // namespace

QStringList knownLanguages()
{
    return {QStringLiteral("es"), QStringLiteral("en"), QStringLiteral("ca")};
}

QLocale localeFor(const QString& code)
{
    if (code.isEmpty() || !knownLanguages().contains(code))
        return QLocale::system();
    return QLocale(code);
}

QString storedLanguage()
{
    if (!QFileInfo::exists(platform::SettingsStore::pathOf(QStringLiteral("Lurn"))))
        return {};
    QString code;
    try {
        platform::SettingsStore store(QStringLiteral("Lurn"));
        code = store.readString(kGroup, kEntry, {}).trimmed();
    } catch (const platform::SettingsError& e) {
        std::fprintf(stderr, "lurn: %s\n", e.what());
        return {};
    }
    if (!code.isEmpty() && !knownLanguages().contains(code)) {
        std::fprintf(stderr, "lurn: Idioma in Lurn.conf is not one of es, en, ca: %s\n",
                     qPrintable(code));
        return {};
    }
    return code;
}

void saveLanguage(platform::SettingsStore& store, const QString& code)
{
    store.beginBatch();
    store.writeString(kGroup, kEntry, code);
    store.commitBatch();
}

void useLanguage(const QString& code)
{
    const QLocale locale = localeFor(code);
    QLocale::setDefault(locale);
    replace(g_lurn, locale, QStringLiteral("lurn"), QStringLiteral(":/i18n"));
    replace(g_qt, locale, QStringLiteral("qtbase"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}
