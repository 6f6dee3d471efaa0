#include "records/RecordStore.h"

#include <QCoreApplication>

#include <atomic>

namespace {

struct ProblemWords
{
    StoreProblem::Kind kind;
    const char* spanish;
    const char* english;
};

constexpr ProblemWords kWords[] = {
    {StoreProblem::Kind::None, "", ""},
    {StoreProblem::Kind::NotARecordsFile,
     QT_TRANSLATE_NOOP("RecordStore", "El archivo no es un registro de Lurn; no se ha tocado."),
     "the file is not a Lurn records database; left untouched"},
    {StoreProblem::Kind::Unavailable,
     QT_TRANSLATE_NOOP("RecordStore", "No se puede abrir el archivo de registros por ahora "
                                      "(bloqueado, ocupado o sin recursos); se reintentará."),
     "cannot open the records file just now (locked, busy or out of resources); will try "
     "again"},
    {StoreProblem::Kind::NewerSchema,
     QT_TRANSLATE_NOOP("RecordStore",
                       "El registro es de una versión más nueva de Lurn; no se ha tocado."),
     "the records were written by a newer Lurn; left untouched"},
    {StoreProblem::Kind::WriteFailed,
     QT_TRANSLATE_NOOP("RecordStore",
                       "No se pudo guardar el registro (¿disco lleno?); se reintentará."),
     "cannot write the records (disk full?); will try again"},
    {StoreProblem::Kind::BadAddress,
     QT_TRANSLATE_NOOP("RecordStore", "La dirección del servidor no es válida."),
     "the server address is not a valid postgresql:// URI"},
    {StoreProblem::Kind::Unreachable,
     QT_TRANSLATE_NOOP("RecordStore", "No se puede conectar con el servidor."),
     "cannot reach the server"},
    {StoreProblem::Kind::LoginRefused,
     QT_TRANSLATE_NOOP("RecordStore",
                       "El servidor rechaza la conexión: usuario o contraseña incorrectos "
                       "(la contraseña va en ~/.pgpass o en PGPASSWORD)."),
     "the server refuses the login (wrong role or password)"},
    {StoreProblem::Kind::NoDatabase,
     QT_TRANSLATE_NOOP("RecordStore", "La base de datos no existe en el servidor."),
     "the database does not exist on the server"},
    {StoreProblem::Kind::NoPrivileges,
     QT_TRANSLATE_NOOP("RecordStore",
                       "El usuario no tiene permiso para crear o escribir la tabla sessions."),
     "the role lacks the privileges to create or write the table sessions"},
    {StoreProblem::Kind::Rejected,
     QT_TRANSLATE_NOOP("RecordStore", "El servidor rechaza este registro."),
     "the server refuses this record"},
    {StoreProblem::Kind::Other, QT_TRANSLATE_NOOP("RecordStore", "Error en el registro."),
     "records error"},
};

const ProblemWords& wordsFor(StoreProblem::Kind kind)
{
    for (const ProblemWords& w : kWords)
        if (w.kind == kind)
            return w;
    return kWords[std::size(kWords) - 1];
}

QString withDetail(const QString& sentence, const QString& detail, const char* separator)
{
    QString text = sentence;
    if (!detail.isEmpty())
        text += QString::fromLatin1(separator) + detail;
    return text;
}

} // namespace

QString problemText(const StoreProblem& problem)
{
    // In the application's language; asked from the records' own threads too,
    // which translate() allows.
    return withDetail(QCoreApplication::translate("RecordStore", wordsFor(problem.kind).spanish),
                      problem.detail, "\n");
}

QString problemLogText(const StoreProblem& problem)
{
    return withDetail(QString::fromUtf8(wordsFor(problem.kind).english), problem.detail, ": ");
}

QString stationsSql()
{
    return QStringLiteral(
        "WITH RECURSIVE s(name) AS (SELECT min(station) FROM sessions"
        " UNION ALL SELECT (SELECT min(station) FROM sessions WHERE station > s.name)"
        " FROM s WHERE s.name IS NOT NULL)"
        " SELECT name FROM s WHERE name IS NOT NULL");
}

QString uniqueConnectionName(const char* purpose)
{
    static std::atomic<int> next{0};
    return QStringLiteral("lurn-%1-%2").arg(QLatin1String(purpose)).arg(++next);
}
