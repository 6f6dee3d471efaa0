#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

namespace platform {
class SettingsStore;
}

// The languages Lurn speaks. Spanish is its own: every text in the code is
// Spanish and shows whenever no translation matches. The others come as
// Qt translation files compiled into the program.

// The codes "Idioma" in Lurn.conf accepts, Spanish first; an empty one means
// the desktop's language.
QStringList knownLanguages();

// The locale the windows speak and write dates and money in: the code's
// language, or the desktop's (LANGUAGE, LC_ALL, LC_MESSAGES, LANG, as Qt
// reads them) when the code is empty or unknown.
QLocale localeFor(const QString& code);

// Which of Lurn's translations a reader of these languages (most wanted first,
// as QLocale::uiLanguages() gives them) gets: the first one Lurn speaks, or
// empty for Spanish, the source's own, also when Spanish comes first or none
// matches ("es:en" in LANGUAGE is Spanish, "fr:ca" Catalan, "C" Spanish).
QString translationFor(const QStringList& uiLanguages);

// "Idioma" from Lurn.conf, group "Lurn": one of knownLanguages(), or empty.
// A file that does not exist is not created; an unknown code reads as empty
// (and is said on standard error).
QString storedLanguage();
// Writes "Idioma" in one replacement of the file. Throws SettingsError.
void saveLanguage(platform::SettingsStore& store, const QString& code);

// Makes the application speak the code's language: Lurn's translation and
// Qt's own (standard buttons, date pickers), and the default locale. Call
// once the application object exists and before the first window is made;
// calling it again replaces the earlier choice (for windows made later).
void useLanguage(const QString& code);
