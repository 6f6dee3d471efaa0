#include "console/StartDialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QDialogButtonBox* okCancel(QDialog* dialog, const QString& okText)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(okText);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)
        ->setText(QCoreApplication::translate("StartDialog", "Cancelar"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QLabel* problemLabel()
{
    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("problemLabel"));
    label->setStyleSheet(QStringLiteral("color: #b00000"));
    return label;
}

} // namespace

StartDialog::StartDialog(const QString& station, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("startDialog"));
    setWindowTitle(tr("Iniciar %1").arg(station));
    m_command.kind = RoomCommand::Kind::Start;
    m_command.station = station;

    m_hours = field("hoursEdit", tr("Horas"));
    m_minutes = field("minutesEdit", tr("Minutos"));
    m_seconds = field("secondsEdit", tr("Segundos"));
    m_warn = field("warnEdit", tr("Aviso minutos antes"));
    m_hours->setText(QStringLiteral("1"));
    m_warn->setText(QStringLiteral("5"));
    m_rate1 = new QRadioButton(tr("Tarifa &1"));
    m_rate1->setObjectName(QStringLiteral("rate1Radio"));
    m_rate1->setChecked(true);
    m_rate2 = new QRadioButton(tr("Tarifa &2"));
    m_rate2->setObjectName(QStringLiteral("rate2Radio"));
    auto* rates = new QHBoxLayout;
    rates->addWidget(m_rate1);
    rates->addWidget(m_rate2);
    m_problem = problemLabel();

    auto* form = new QFormLayout;
    form->addRow(tr("&Horas"), m_hours);
    form->addRow(tr("&Minutos"), m_minutes);
    form->addRow(tr("&Segundos"), m_seconds);
    form->addRow(tr("Tarifa"), rates);
    form->addRow(tr("&Aviso (minutos antes)"), m_warn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(okCancel(this, tr("Iniciar")));
    m_hours->setFocus();
    m_hours->selectAll();
}

QLineEdit* StartDialog::field(const char* name, const QString& accessible)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(QLatin1String(name));
    edit->setAccessibleName(accessible);
    edit->setText(QStringLiteral("0"));
    return edit;
}

void StartDialog::accept()
{
    struct Field
    {
        QLineEdit* edit;
        FieldRange range;
        int RoomCommand::*member;
    };
    const Field fields[] = {
        {m_hours, kHoursRange, &RoomCommand::hours},
        {m_minutes, kMinutesRange, &RoomCommand::minutes},
        {m_seconds, kSecondsRange, &RoomCommand::seconds},
        {m_warn, kWarnRange, &RoomCommand::warnMinutes},
    };
    for (const Field& f : fields) {
        QString problem;
        const int value = checkCommandField(f.edit->text(), f.range, problem);
        if (!problem.isEmpty()) {
            m_problem->setText(QStringLiteral("%1: %2").arg(f.edit->accessibleName(), problem));
            f.edit->setFocus();
            f.edit->selectAll();
            return;
        }
        m_command.*f.member = value;
    }
    if (m_command.hours == 0 && m_command.minutes == 0 && m_command.seconds == 0) {
        m_problem->setText(tr("El tiempo no puede ser cero"));
        m_hours->setFocus();
        m_hours->selectAll();
        return;
    }
    m_command.secondRate = m_rate2->isChecked();
    QDialog::accept();
}

MessageDialog::MessageDialog(const QString& station, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("messageDialog"));
    setWindowTitle(tr("Mensaje a %1").arg(station));
    m_command.kind = RoomCommand::Kind::Message;
    m_command.station = station;
    m_text = new QPlainTextEdit;
    m_text->setObjectName(QStringLiteral("messageEdit"));
    m_text->setAccessibleName(tr("Mensaje"));
    m_text->setTabChangesFocus(true);
    m_count = new QLabel;
    m_count->setObjectName(QStringLiteral("countLabel"));
    auto* buttons = okCancel(this, tr("Enviar"));
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    const auto recount = [this, ok] {
        const int n = int(m_text->toPlainText().size());
        m_count->setText(QStringLiteral("%1 / %2").arg(n).arg(kMessageMaxLength));
        ok->setEnabled(n > 0 && n <= kMessageMaxLength);
    };
    connect(m_text, &QPlainTextEdit::textChanged, this, recount);
    recount();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Texto que verá el cliente:")));
    layout->addWidget(m_text);
    layout->addWidget(m_count);
    layout->addWidget(buttons);
    m_text->setFocus();
}

void MessageDialog::accept()
{
    const QString text = m_text->toPlainText().trimmed();
    if (text.isEmpty() || text.size() > kMessageMaxLength)
        return;
    m_command.message = text;
    QDialog::accept();
}
