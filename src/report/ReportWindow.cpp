#include "report/ReportWindow.h"

#include "console/ConsoleWindow.h"
#include "language/Language.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/SettingsStore.h"
#include "records/RecordKeeper.h"
#include "records/ServerAddress.h"
#include "records/SqliteRecordStore.h"
#include "report/ChartModule.h"
#include "report/ReportModel.h"
#include "station/Artwork.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QDate today()
{
    return QDateTime::fromMSecsSinceEpoch(platform::services().clock->utcMs()).date();
}

QLabel* wrappingLabel(const char* name)
{
    auto* label = new QLabel;
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QPushButton* button(const QString& caption, const char* name)
{
    auto* b = new QPushButton(caption);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

ReportWindow::ReportWindow(RecordKeeper* keeper, QWidget* parent)
    : QWidget(parent, Qt::Window), m_keeper(keeper), m_loader(new ReportLoader(this)),
      m_model(new ReportModel(this))
{
    setObjectName(QStringLiteral("reportWindow"));
    setWindowTitle(tr("Registro"));
    setWindowIcon(artwork::applicationIcon());
    try {
        platform::SettingsStore store(QStringLiteral("Lurn"));
        m_settings = loadRecordsSettings(store);
    } catch (const platform::SettingsError&) {
        m_settings.station = defaultStationName();
    }
    buildControls();

    connect(m_loader, &ReportLoader::loaded, this, &ReportWindow::applyLoad);
    connect(m_loader, &ReportLoader::exported, this,
            [this](const QString& path, int rows, const QString& problem) {
                m_export->setEnabled(true);
                m_settingsNote->setText(
                    problem.isEmpty() ? tr("Exportadas %1 sesiones a %2.").arg(rows).arg(path)
                                      : tr("No se pudo exportar a %1: %2").arg(path, problem));
                emit exported(path, rows, problem);
            });
    connect(m_loader, &ReportLoader::tested, this,
            [this](const QString&, bool, const QString& text) {
                m_test->setEnabled(true);
                m_settingsNote->setText(text);
            });
    if (m_keeper)
        connect(m_keeper, &RecordKeeper::statusChanged, this, &ReportWindow::showOrigin);
    setRange(today(), today());
}

ReportWindow::~ReportWindow() = default;

void ReportWindow::buildControls()
{
    m_from = new QDateEdit;
    m_from->setObjectName(QStringLiteral("fromDate"));
    m_to = new QDateEdit;
    m_to->setObjectName(QStringLiteral("toDate"));
    for (QDateEdit* edit : {m_from, m_to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
        connect(edit, &QDateEdit::dateChanged, this, [this, edit] {
            if (m_settingRange)
                return;
            // The range never turns inside out: the other end follows.
            if (m_from->date() > m_to->date())
                setRange(edit->date(), edit->date());
            else
                reload();
        });
    }
    m_station = new QComboBox;
    m_station->setObjectName(QStringLiteral("stationFilter"));
    m_station->setMinimumContentsLength(12);
    m_station->addItem(tr("Todos"), QString());
    connect(m_station, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_settingRange)
            reload();
    });
    auto* todayButton = button(tr("Hoy"), "todayButton");
    connect(todayButton, &QPushButton::clicked, this, [this] { setRange(today(), today()); });
    auto* monthButton = button(tr("Este mes"), "monthButton");
    connect(monthButton, &QPushButton::clicked, this, [this] {
        const QDate d = today();
        setRange(QDate(d.year(), d.month(), 1), d);
    });
    auto* yearButton = button(tr("Este año"), "yearButton");
    connect(yearButton, &QPushButton::clicked, this, [this] {
        const QDate d = today();
        setRange(QDate(d.year(), 1, 1), d);
    });
    m_export = button(tr("Exportar CSV…"), "exportButton");
    connect(m_export, &QPushButton::clicked, this, &ReportWindow::chooseExportFile);
    auto* roomButton = button(tr("Sala…"), "roomButton");
    connect(roomButton, &QPushButton::clicked, this, [this] {
        // One room view per report window; it follows the saved Servidor.
        auto* room = findChild<ConsoleWindow*>();
        if (!room)
            room = new ConsoleWindow(m_settings.server, this);
        room->show();
        room->raise();
        room->activateWindow();
    });

    auto* filters = new QHBoxLayout;
    auto* fromLabel = new QLabel(tr("Desde"));
    fromLabel->setBuddy(m_from);
    filters->addWidget(fromLabel);
    filters->addWidget(m_from);
    auto* toLabel = new QLabel(tr("Hasta"));
    toLabel->setBuddy(m_to);
    filters->addWidget(toLabel);
    filters->addWidget(m_to);
    filters->addWidget(todayButton);
    filters->addWidget(monthButton);
    filters->addWidget(yearButton);
    filters->addSpacing(12);
    auto* stationLabel = new QLabel(tr("Puesto"));
    stationLabel->setBuddy(m_station);
    filters->addWidget(stationLabel);
    filters->addWidget(m_station);
    filters->addStretch(1);
    filters->addWidget(m_export);
    filters->addWidget(roomButton);

    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("sessionsTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Every row the same height, and columns sized by hand: sizing to the
    // contents would read every one of a year's rows.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    const int w = fontMetrics().averageCharWidth();
    const int widths[] = {14, 17, 17, 8, 10, 10, 16};
    for (int c = 0; c < ReportModel::ColumnCount; ++c)
        m_table->setColumnWidth(c, widths[c] * w + 12);

    m_chart = createTakingsChart();
    m_chart->setMinimumHeight(220);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(m_table);
    split->addWidget(m_chart);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    m_totals = wrappingLabel("totalsLabel");
    m_origin = wrappingLabel("originLabel");
    auto* originBox = new QGroupBox(tr("Origen de los registros"));
    (new QVBoxLayout(originBox))->addWidget(m_origin);

    m_stationEdit = new QLineEdit(m_settings.station);
    m_stationEdit->setObjectName(QStringLiteral("stationEdit"));
    m_serverEdit = new QLineEdit(m_settings.server);
    m_serverEdit->setObjectName(QStringLiteral("serverEdit"));
    m_serverEdit->setPlaceholderText(
        tr("vacío: solo este ordenador; p. ej. postgresql://lurn@caja.local/cafe"));
    m_test = button(tr("Probar conexión"), "testButton");
    connect(m_test, &QPushButton::clicked, this, &ReportWindow::testServer);
    m_save = button(tr("Guardar"), "saveButton");
    connect(m_save, &QPushButton::clicked, this, &ReportWindow::saveSettings);
    m_settingsNote = wrappingLabel("settingsNote");
    auto* settingsBox = new QGroupBox(tr("Ajustes del registro"));
    auto* form = new QFormLayout(settingsBox);
    form->addRow(tr("Puesto"), m_stationEdit);
    // The language is read once, at start: it is said to change then.
    m_language = new QComboBox;
    m_language->setObjectName(QStringLiteral("languageChoice"));
    m_language->addItem(tr("El del escritorio"), QString());
    // Each language by its own name, so that whoever reads it finds theirs.
    m_language->addItem(QStringLiteral("Español"), QStringLiteral("es"));
    m_language->addItem(QStringLiteral("English"), QStringLiteral("en"));
    m_language->addItem(QStringLiteral("Català"), QStringLiteral("ca"));
    m_language->setCurrentIndex(std::max(0, m_language->findData(storedLanguage())));
    auto* languageRow = new QHBoxLayout;
    languageRow->addWidget(m_language);
    languageRow->addWidget(new QLabel(tr("(al volver a abrir Lurn)")), 1);
    form->addRow(tr("Idioma"), languageRow);
    auto* serverRow = new QHBoxLayout;
    serverRow->addWidget(m_serverEdit, 1);
    serverRow->addWidget(m_test);
    serverRow->addWidget(m_save);
    form->addRow(tr("Servidor"), serverRow);
    form->addRow(m_settingsNote);

    // What a screen reader says for the fields whose labels it cannot tie
    // to them by itself.
    m_from->setAccessibleName(tr("Desde el día"));
    m_to->setAccessibleName(tr("Hasta el día"));
    m_station->setAccessibleName(tr("Puesto que mostrar"));
    m_table->setAccessibleName(tr("Sesiones"));
    m_stationEdit->setAccessibleName(tr("Nombre de este puesto"));
    m_language->setAccessibleName(tr("Idioma"));
    m_serverEdit->setAccessibleName(tr("Servidor"));

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(originBox, 1);
    bottom->addWidget(settingsBox, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(split, 1);
    layout->addWidget(m_totals);
    layout->addLayout(bottom);
    resize(960, 720);

    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

void ReportWindow::setRange(const QDate& from, const QDate& to)
{
    m_settingRange = true;
    m_from->setDate(from);
    m_to->setDate(to);
    m_settingRange = false;
    reload();
}

void ReportWindow::setFilter(const QDate& from, const QDate& to, const QString& station)
{
    m_settingRange = true;
    if (m_station->findData(station) < 0)
        m_station->addItem(station, station);
    m_station->setCurrentIndex(m_station->findData(station));
    m_settingRange = false;
    setRange(from, to);
}

void ReportWindow::reload()
{
    ReportSource source;
    source.server = m_settings.server;
    source.directory = recordsDirectory();
    if (m_keeper)
        source.localFile = m_keeper->status().localFile;
    ReportRequest request;
    request.from = m_from->date();
    request.to = m_to->date();
    request.station = m_station->currentData().toString();
    m_totals->setText(tr("Cargando…"));
    m_export->setEnabled(false);
    m_loadTimer.start();
    m_waitingFor = m_loader->load(source, request);
}

void ReportWindow::applyLoad(const LoadResult& result)
{
    if (result.generation != m_waitingFor)
        return; // superseded by a newer filter
    m_last = result;
    m_model->setRows(result.content.rows);
    showTakings(m_chart, result.content);

    // The station filter offers every station the records know, and keeps
    // its choice.
    const QString chosen = m_station->currentData().toString();
    QStringList known = result.stations;
    if (!chosen.isEmpty() && !known.contains(chosen))
        known << chosen;
    m_settingRange = true;
    while (m_station->count() > 1)
        m_station->removeItem(1);
    for (const QString& s : known)
        m_station->addItem(s, s);
    m_station->setCurrentIndex(std::max(0, m_station->findData(chosen)));
    m_settingRange = false;

    const ReportContent& c = result.content;
    const QLocale locale;
    QString totals = tr("Total: %1 sesiones, %2 minutos, importe %3.")
                         .arg(locale.toString(c.sessions), locale.toString(qlonglong(c.minutes)),
                              locale.toString(qlonglong(c.cost)));
    if (c.doubtful > 0)
        totals += tr(" %1 con datos dudosos, sin sumar.").arg(locale.toString(c.doubtful));
    if (c.stations.size() > 1) {
        QStringList each;
        for (qsizetype s = 0; s < c.stations.size(); ++s)
            each << QStringLiteral("%1: %2").arg(
                c.stations.at(s), locale.toString(qlonglong(c.stationCost[std::size_t(s)])));
        totals += tr("  Por puesto: ") + each.join(QStringLiteral(" · "));
    }
    m_totals->setText(totals);
    m_export->setEnabled(true);
    showOrigin();
    m_lastLoadMs = m_loadTimer.elapsed();
    emit shown(c.sessions);
}

namespace {

// The records the server refused, counted and named.
QString setAsideLine(int count, const QStringList& first)
{
    return QCoreApplication::translate("ReportWindow", "%1 registros apartados: %2")
        .arg(count)
        .arg(first.join(QStringLiteral("; ")) +
             (count > first.size() ? QStringLiteral("; …") : QString()));
}

} // namespace

void ReportWindow::showOrigin()
{
    QStringList lines;
    if (!m_last.origin.isEmpty())
        lines << m_last.origin;
    if (!m_last.problem.isEmpty())
        lines << m_last.problem;
    if (m_keeper) {
        const RecordsStatus s = m_keeper->status();
        if (!s.localFile.isEmpty() && s.localFile != m_last.localFile)
            lines << tr("Este puesto guarda sus registros en %1.").arg(s.localFile);
        for (const QString& skipped : s.skippedFiles)
            lines << skipped;
        if (!s.localProblem.isEmpty())
            lines << s.localProblem;
        switch (s.link) {
        case RecordsStatus::Link::NotSet:
            break;
        case RecordsStatus::Link::Unknown:
            lines << tr("Servidor %1: conectando…").arg(s.server);
            break;
        case RecordsStatus::Link::Connected:
            lines << tr("Servidor %1: conectado.").arg(s.server);
            break;
        case RecordsStatus::Link::Failing:
            lines << tr("Servidor %1: sin conexión. %2").arg(s.server, s.serverProblem);
            break;
        }
        if (s.link != RecordsStatus::Link::NotSet)
            lines << tr("%1 registros pendientes de enviar.").arg(s.unsent);
        if (m_roomLink && !m_roomLink->connected)
            lines << tr("Sala: sin conexión. %1").arg(m_roomLink->problem);
        else if (m_roomLink && !m_roomLink->problem.isEmpty())
            lines << tr("Sala: conectado, con un problema: %1").arg(m_roomLink->problem);
        else if (m_roomLink)
            lines << tr("Sala: conectado.");
        if (s.setAside > 0)
            lines << setAsideLine(s.setAside, s.setAsideRows);
    } else if (m_last.localUnsent > 0) {
        lines << tr("%1 registros de este ordenador pendientes de enviar.").arg(m_last.localUnsent);
    }
    if (!m_keeper && m_last.localSetAside > 0)
        lines << setAsideLine(m_last.localSetAside, m_last.localSetAsideRows);
    m_origin->setText(lines.join(QLatin1Char('\n')));
}

void ReportWindow::showRoomLink(const LinkStatus& status)
{
    m_roomLink = status;
    showOrigin();
}

void ReportWindow::chooseExportFile()
{
    const QString suggested = QDir::home().filePath(
        QStringLiteral("registro-%1.csv")
            .arg(m_from->date() == m_to->date()
                     ? m_from->date().toString(Qt::ISODate)
                     : m_from->date().toString(Qt::ISODate) + QLatin1Char('_') +
                           m_to->date().toString(Qt::ISODate)));
    QString path =
        QFileDialog::getSaveFileName(this, tr("Exportar CSV"), suggested, tr("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        path += QStringLiteral(".csv");
    exportTo(path);
}

void ReportWindow::exportTo(const QString& path)
{
    m_export->setEnabled(false);
    m_settingsNote->setText(tr("Exportando…"));
    m_loader->exportCsv(m_model->rows(), path);
}

void ReportWindow::testServer()
{
    const QString uri = m_serverEdit->text().trimmed();
    if (uri.isEmpty()) {
        m_settingsNote->setText(tr("Sin servidor: los registros se quedan en este "
                                   "ordenador."));
        return;
    }
    QString why;
    if (!parseServerAddress(uri, why)) {
        m_settingsNote->setText(why);
        return;
    }
    m_test->setEnabled(false);
    m_settingsNote->setText(tr("Probando la conexión…"));
    m_loader->testServer(uri);
}

void ReportWindow::saveSettings()
{
    RecordsSettings settings;
    settings.station = m_stationEdit->text().trimmed();
    settings.server = m_serverEdit->text().trimmed();
    QString why = stationNameProblem(settings.station);
    if (!why.isEmpty()) {
        m_settingsNote->setText(tr("No se ha guardado. ") + why);
        return;
    }
    if (!settings.server.isEmpty() && !parseServerAddress(settings.server, why)) {
        m_settingsNote->setText(tr("No se ha guardado. ") + why);
        return;
    }
    try {
        platform::SettingsStore store(QStringLiteral("Lurn"));
        saveRecordsSettings(store, settings);
        saveLanguage(store, m_language->currentData().toString());
        store.close();
    } catch (const platform::SettingsError& e) {
        m_settingsNote->setText(tr("No se ha guardado: %1").arg(QString::fromUtf8(e.what())));
        return;
    }
    if (settings.station.isEmpty())
        settings.station = defaultStationName();
    m_stationEdit->setText(settings.station);
    m_settings = settings;
    m_settingsNote->setText(tr("Guardado en Lurn.conf."));
    emit settingsSaved(settings);
    reload();
}
