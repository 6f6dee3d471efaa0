#pragma once

#include <QHash>
#include <QListWidget>

// The commands sent from this console and their fate, newest on top:
// "enviado" until the station answers "hecho", "rechazado: <why>" or
// "caducado".
class CommandLog final : public QListWidget
{
    Q_OBJECT
public:
    explicit CommandLog(QWidget* parent = nullptr);

    void sent(int tag, const QString& what);
    void stored(int tag, const QString& id);
    void failed(int tag, const QString& why);
    void answered(const QString& id, const QString& state, const QString& answer);

    // The line of a command, for tests and the accessible tree.
    QString lineOf(int tag) const;

private:
    void setFate(QListWidgetItem* item, const QString& fate, const QColor& colour);

    QHash<int, QListWidgetItem*> m_byTag;
    QHash<QString, QListWidgetItem*> m_byId;
};
