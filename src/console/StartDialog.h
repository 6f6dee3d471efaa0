#pragma once

#include "console/RoomCommand.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QRadioButton;

// "Iniciar" for one station: hours, minutes, seconds, the rate and the
// warning lead, checked as the main window checks its fields. The problem is
// said in the dialog itself, beside the field, which keeps the focus.
class StartDialog final : public QDialog
{
    Q_OBJECT
public:
    explicit StartDialog(const QString& station, QWidget* parent = nullptr);

    // Valid once accepted.
    const RoomCommand& command() const { return m_command; }

    void accept() override;

private:
    QLineEdit* field(const char* name, const QString& accessible);

    RoomCommand m_command;
    QLineEdit* m_hours;
    QLineEdit* m_minutes;
    QLineEdit* m_seconds;
    QLineEdit* m_warn;
    QRadioButton* m_rate1;
    QRadioButton* m_rate2;
    QLabel* m_problem;
};

// "Mensaje" for one station: a text of at most 500 characters.
class MessageDialog final : public QDialog
{
    Q_OBJECT
public:
    explicit MessageDialog(const QString& station, QWidget* parent = nullptr);
    const RoomCommand& command() const { return m_command; }
    void accept() override;

private:
    RoomCommand m_command;
    class QPlainTextEdit* m_text;
    QLabel* m_count;
};
