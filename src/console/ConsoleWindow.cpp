#include "console/ConsoleWindow.h"

#include "console/CommandLog.h"
#include "console/RoomModel.h"
#include "console/RoomSource.h"
#include "console/StartDialog.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QPushButton* button(const QString& caption, const char* name, const QKeySequence& keys = {})
{
    auto* b = new QPushButton(caption);
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(QString(caption).remove(QLatin1Char('&')).remove(QStringLiteral("…")));
    if (!keys.isEmpty()) {
        b->setShortcut(keys);
        b->setToolTip(keys.toString(QKeySequence::NativeText));
    }
    return b;
}

} // namespace

ConsoleWindow::ConsoleWindow(const QString& serverUri, QWidget* parent, Clock clock)
    : QWidget(parent, Qt::Window), m_clock(std::move(clock)), m_model(new RoomModel(this)),
      m_seconds(new QTimer(this))
{
    if (!m_clock)
        m_clock = [] { return QDateTime::currentMSecsSinceEpoch(); };
    setObjectName(QStringLiteral("consoleWindow"));
    setWindowTitle(tr("Sala"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildControls();
    resize(900, 640);

    m_seconds->setInterval(1000);
    connect(m_seconds, &QTimer::timeout, this, [this] { m_model->tick(m_clock()); });
    m_seconds->start();

    if (serverUri.trimmed().isEmpty()) {
        showConnection(
            false, QStringLiteral("No hay servidor configurado: ponga la dirección del servidor "
                                  "PostgreSQL en «Servidor» (ventana Registro) en este PC."));
    } else {
        showConnection(false, tr("Conectando con el servidor…"));
        m_source = new RoomSource(serverUri, this);
        connect(m_source, &RoomSource::snapshotRead, this, &ConsoleWindow::applySnapshot);
        connect(m_source, &RoomSource::connectionChanged, this, &ConsoleWindow::showConnection);
        connect(m_source, &RoomSource::commandStored, m_log, &CommandLog::stored);
        connect(m_source, &RoomSource::commandFailed, m_log, &CommandLog::failed);
        connect(m_source, &RoomSource::commandAnswered, m_log, &CommandLog::answered);
    }
    updateActions();
}

ConsoleWindow::~ConsoleWindow() = default;

void ConsoleWindow::buildControls()
{
    m_connection = new QLabel;
    m_connection->setObjectName(QStringLiteral("connectionLabel"));
    m_connection->setWordWrap(true);
    m_connection->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("roomTable"));
    m_table->setAccessibleName(tr("Puestos"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    // Fixed row heights and column widths: no measuring of 100 rows' text
    // every second.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 8);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The columns keep their widths: a stretched last column put today's
    // takings a screen's width away from the station they belong to.
    m_table->horizontalHeader()->setStretchLastSection(false);
    const int w = m_table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[] = {14, 16, 14, 10, 11, 10, 14};
    for (int c = 0; c < RoomModel::ColumnCount; ++c)
        m_table->setColumnWidth(c, widths[c] * w);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ConsoleWindow::updateActions);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ConsoleWindow::updateActions);

    m_start = button(tr("&Iniciar…"), "startButton", QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(m_start, &QPushButton::clicked, this, &ConsoleWindow::startSelected);
    m_add15 = button(tr("+15 min"), "add15Button");
    connect(m_add15, &QPushButton::clicked, this, [this] { addTimeSelected(15); });
    m_add30 = button(tr("+30 min"), "add30Button");
    connect(m_add30, &QPushButton::clicked, this, [this] { addTimeSelected(30); });
    m_add60 = button(tr("+60 min"), "add60Button");
    connect(m_add60, &QPushButton::clicked, this, [this] { addTimeSelected(60); });
    m_addMinutes = new QLineEdit;
    m_addMinutes->setObjectName(QStringLiteral("addMinutesEdit"));
    m_addMinutes->setAccessibleName(tr("Minutos a añadir"));
    m_addMinutes->setPlaceholderText(tr("minutos"));
    m_addMinutes->setMaximumWidth(8 * w);
    connect(m_addMinutes, &QLineEdit::returnPressed, this, &ConsoleWindow::addTypedTime);
    m_add = button(tr("Añadir &tiempo"), "addButton");
    connect(m_add, &QPushButton::clicked, this, &ConsoleWindow::addTypedTime);
    // Ctrl+T goes to the number, where Enter sends it.
    auto* addKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this);
    connect(addKey, &QShortcut::activated, this, [this] {
        m_addMinutes->setFocus(Qt::ShortcutFocusReason);
        m_addMinutes->selectAll();
    });
    m_stop = button(tr("&Parar"), "stopButton", QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(m_stop, &QPushButton::clicked, this, &ConsoleWindow::stopSelected);
    m_message = button(tr("&Mensaje…"), "messageButton", QKeySequence(Qt::CTRL | Qt::Key_M));
    connect(m_message, &QPushButton::clicked, this, &ConsoleWindow::messageSelected);
    // On the table, Enter starts and Delete stops the selected station.
    auto* enterKey =
        new QShortcut(QKeySequence(Qt::Key_Return), m_table, nullptr, nullptr, Qt::WidgetShortcut);
    connect(enterKey, &QShortcut::activated, this, &ConsoleWindow::startSelected);
    auto* deleteKey =
        new QShortcut(QKeySequence::Delete, m_table, nullptr, nullptr, Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, &ConsoleWindow::stopSelected);

    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("problemLabel"));
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_total = new QLabel;
    m_total->setObjectName(QStringLiteral("totalLabel"));
    m_log = new CommandLog;

    auto* actions = new QHBoxLayout;
    actions->addWidget(m_start);
    actions->addSpacing(12);
    actions->addWidget(m_add15);
    actions->addWidget(m_add30);
    actions->addWidget(m_add60);
    actions->addWidget(m_addMinutes);
    actions->addWidget(m_add);
    actions->addSpacing(12);
    actions->addWidget(m_stop);
    actions->addWidget(m_message);
    actions->addStretch(1);
    actions->addWidget(m_total);

    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(m_table);
    auto* logBox = new QWidget;
    auto* logLayout = new QVBoxLayout(logBox);
    logLayout->setContentsMargins(0, 0, 0, 0);
    auto* logTitle = new QLabel(tr("Órdenes enviadas"));
    logTitle->setBuddy(m_log);
    logLayout->addWidget(logTitle);
    logLayout->addWidget(m_log, 1);
    split->addWidget(logBox);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_connection);
    layout->addWidget(split, 1);
    layout->addWidget(m_problem);
    layout->addLayout(actions);

    setTabOrder(m_table, m_start);
    setTabOrder(m_start, m_add15);
    setTabOrder(m_add15, m_add30);
    setTabOrder(m_add30, m_add60);
    setTabOrder(m_add60, m_addMinutes);
    setTabOrder(m_addMinutes, m_add);
    setTabOrder(m_add, m_stop);
    setTabOrder(m_stop, m_message);
    m_table->setFocus();
}

QString ConsoleWindow::selectedStation() const
{
    // The highlighted line, not the view's current cell: the view puts its
    // current cell on the first line by itself, and an order must go only to
    // a station the operator has picked.
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    const StationRow* row = rows.isEmpty() ? nullptr : m_model->stationAt(rows.first().row());
    return row ? row->station : QString();
}

void ConsoleWindow::selectStation(const QString& station)
{
    const int row = m_model->rowOf(station);
    if (row >= 0)
        m_table->selectRow(row);
}

void ConsoleWindow::setOfflineAfterMs(std::int64_t ms)
{
    m_model->setOfflineAfterMs(ms);
}

void ConsoleWindow::setOrderValidityMs(std::int64_t ms)
{
    if (m_source)
        m_source->setOrderValidityMs(ms);
}

void ConsoleWindow::applySnapshot(RoomSnapshotPtr snapshot)
{
    // The selection follows the station, not the line number, when
    // stations come or go.
    const QString selected = selectedStation();
    const int before = m_model->rowCount();
    m_model->setSnapshot(std::move(snapshot), m_clock());
    if (m_model->rowCount() != before && !selected.isEmpty())
        selectStation(selected);
    const QString total = QLocale().toString(qlonglong(m_model->takingsTotal()));
    const QStringList doubtful = m_model->doubtfulStations();
    if (doubtful.isEmpty()) {
        m_total->setText(tr("Caja de hoy: %1").arg(total));
        m_total->setToolTip({});
    } else {
        // What a station wrote out of range is never added as if sound.
        m_total->setText(tr("Caja de hoy: %1, sin datos dudosos").arg(total));
        m_total->setToolTip(tr("Datos dudosos de: %1").arg(doubtful.join(QStringLiteral(", "))));
    }
    updateActions();
}

void ConsoleWindow::showConnection(bool connected, const QString& why)
{
    if (connected) {
        m_connection->setText(tr("Conectado con el servidor."));
        m_connection->setStyleSheet({});
    } else {
        m_connection->setText(why);
        m_connection->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    }
    m_connection->setAccessibleName(m_connection->text());
}

void ConsoleWindow::updateActions()
{
    const bool any = m_source && !selectedStation().isEmpty();
    for (QWidget* w : {static_cast<QWidget*>(m_start), static_cast<QWidget*>(m_add15),
                       static_cast<QWidget*>(m_add30), static_cast<QWidget*>(m_add60),
                       static_cast<QWidget*>(m_add), static_cast<QWidget*>(m_stop),
                       static_cast<QWidget*>(m_message), static_cast<QWidget*>(m_addMinutes)})
        w->setEnabled(any);
}

void ConsoleWindow::send(const RoomCommand& command)
{
    if (!m_source)
        return;
    m_problem->clear();
    const int tag = m_source->issue(command);
    m_log->sent(tag, describe(command));
}

void ConsoleWindow::startSelected()
{
    const QString station = selectedStation();
    if (station.isEmpty() || !m_source)
        return;
    auto* dialog = new StartDialog(station, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { send(dialog->command()); });
    dialog->open();
}

void ConsoleWindow::addTimeSelected(int minutes)
{
    const QString station = selectedStation();
    if (station.isEmpty())
        return;
    RoomCommand command;
    command.kind = RoomCommand::Kind::AddTime;
    command.station = station;
    command.addMinutes = minutes;
    send(command);
}

void ConsoleWindow::addTypedTime()
{
    QString problem;
    const int minutes = checkCommandField(m_addMinutes->text(), kAddMinutesRange, problem);
    if (problem.isEmpty() && minutes == 0)
        problem = tr("Fuera de rango");
    if (!problem.isEmpty()) {
        m_problem->setText(tr("Minutos a añadir: %1").arg(problem));
        m_addMinutes->setFocus();
        m_addMinutes->selectAll();
        return;
    }
    addTimeSelected(minutes);
    m_addMinutes->clear();
}

void ConsoleWindow::stopSelected()
{
    const QString station = selectedStation();
    if (station.isEmpty())
        return;
    RoomCommand command;
    command.kind = RoomCommand::Kind::Stop;
    command.station = station;
    send(command);
}

void ConsoleWindow::messageSelected()
{
    const QString station = selectedStation();
    if (station.isEmpty() || !m_source)
        return;
    auto* dialog = new MessageDialog(station, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { send(dialog->command()); });
    dialog->open();
}
