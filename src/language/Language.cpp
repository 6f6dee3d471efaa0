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

void uninstall(std::unique_ptr<QTranslator>& slot)
{
    if (slot)
        QCoreApplication::removeTranslator(slot.get());
    slot.reset();
}

void install(std::unique_ptr<QTranslator>& slot, std::unique_ptr<QTranslator> loaded)
{
    slot = std::move(loaded);
    QCoreApplication::installTranslator(slot.get());
}

} // namespace

QStringList knownLanguages()
{
    return {QStringLiteral("es"), QStringLiteral("en"), QStringLiteral("ca")};
}

QString translationFor(const QStringList& uiLanguages)
{
    for (const QString& wanted : uiLanguages) {
        const QString language =
            wanted.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
        if (language == QLatin1String("es"))
            return {};
        if (knownLanguages().contains(language))
            return language;
    }
    return {};
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
    uninstall(g_lurn);
    uninstall(g_qt);
    // One look-up in the program's resources; Spanish needs none.
    const QString lurn = translationFor(locale.uiLanguages());
    if (!lurn.isEmpty()) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QStringLiteral(":/i18n/lurn_") + lurn))
            install(g_lurn, std::move(translator));
    }
    // Qt's own texts (standard buttons, the date picker) in the language of
    // Lurn's, Spanish included.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(QStringLiteral("qtbase_") + (lurn.isEmpty() ? QStringLiteral("es") : lurn),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        install(g_qt, std::move(qt));
}
