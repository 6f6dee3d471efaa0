#include "console/CommandLog.h"

#include <QTime>

namespace {
constexpr int kWhatRole = Qt::UserRole;
constexpr int kMaxLines = 500;
} // namespace

CommandLog::CommandLog(QWidget* parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("commandLog"));
    setAccessibleName(tr("Órdenes enviadas"));
    setFocusPolicy(Qt::ClickFocus);
}

void CommandLog::sent(int tag, const QString& what)
{
    auto* item = new QListWidgetItem;
    item->setData(kWhatRole, QStringLiteral("%1  %2").arg(
                                 QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), what));
    insertItem(0, item);
    m_byTag.insert(tag, item);
    setFate(item, tr("enviado"), palette().color(QPalette::Text));
    // A long day's log stays bounded; the oldest lines have long had their fate.
    while (count() > kMaxLines) {
        QListWidgetItem* old = takeItem(count() - 1);
        for (auto it = m_byTag.begin(); it != m_byTag.end();)
            it = it.value() == old ? m_byTag.erase(it) : std::next(it);
        for (auto it = m_byId.begin(); it != m_byId.end();)
            it = it.value() == old ? m_byId.erase(it) : std::next(it);
        delete old;
    }
}

void CommandLog::stored(int tag, const QString& id)
{
    if (QListWidgetItem* item = m_byTag.value(tag))
        m_byId.insert(id, item);
}

void CommandLog::failed(int tag, const QString& why)
{
    if (QListWidgetItem* item = m_byTag.value(tag))
        setFate(item, tr("no enviado: %1").arg(why), QColor(0xb0, 0, 0));
}

void CommandLog::answered(const QString& id, const QString& state, const QString& answer)
{
    QListWidgetItem* item = m_byId.take(id);
    if (!item)
        return;
    if (state == QLatin1String("done"))
        setFate(item, tr("hecho"), QColor(0, 0x80, 0));
    else if (state == QLatin1String("refused"))
        setFate(item, tr("rechazado: %1").arg(answer), QColor(0xb0, 0, 0));
    else
        setFate(item, tr("caducado"), QColor(0x90, 0x60, 0));
}

QString CommandLog::lineOf(int tag) const
{
    const QListWidgetItem* item = m_byTag.value(tag);
    return item ? item->text() : QString();
}

void CommandLog::setFate(QListWidgetItem* item, const QString& fate, const QColor& colour)
{
    item->setText(QStringLiteral("%1 → %2").arg(item->data(kWhatRole).toString(), fate));
    item->setForeground(colour);
}
