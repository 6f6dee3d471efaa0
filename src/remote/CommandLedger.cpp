#include "remote/CommandLedger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

// One line: id, tab, done|refused, tab, the answer with \ and newlines escaped.
QByteArray escaped(const QString& text)
{
    QByteArray out;
    for (char c : text.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

QString unescaped(const QByteArray& text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 'n' ? '\n' : next == 't' ? '\t' : next;
        } else {
            out += text[i];
        }
    }
    return QString::fromUtf8(out);
}

} // namespace

CommandLedger::CommandLedger(QString path) : m_path(std::move(path))
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        // A line cut short by a crash has no newline: it was never acted on
        // as recorded, so it is ignored.
        if (!line.endsWith('\n'))
            break;
        const QList<QByteArray> parts = line.chopped(1).split('\t');
        if (parts.size() != 3 || (parts[1] != "done" && parts[1] != "refused"))
            continue;
        m_entries.insert(QString::fromLatin1(parts[0]),
                         Entry{parts[1] == "done", unescaped(parts[2])});
    }
}

const CommandLedger::Entry* CommandLedger::find(const QString& id) const
{
    const auto it = m_entries.constFind(id);
    return it == m_entries.constEnd() ? nullptr : &*it;
}

bool CommandLedger::record(const QString& id, bool done, const QString& answer, QString& why)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QFile file(m_path);
    const QByteArray line =
        id.toLatin1() + '\t' + (done ? "done" : "refused") + '\t' + escaped(answer) + '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(line) != line.size() ||
        !file.flush() || ::fsync(file.handle()) != 0) {
        why = QStringLiteral("No se puede escribir %1: %2").arg(m_path, file.errorString());
        return false;
    }
    m_entries.insert(id, Entry{done, answer});
    return true;
}
