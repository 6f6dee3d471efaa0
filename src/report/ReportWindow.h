#pragma once

#include "records/RecordsSettings.h"
#include "remote/StationStatus.h"
#include "report/ReportLoader.h"

#include <QElapsedTimer>
#include <QWidget>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class RecordKeeper;
class ReportModel;

// "Registro": the sessions of a date range and station, their totals, the
// takings per day, the CSV export, where the records come from, and the
// settings that say where they go.
class ReportWindow final : public QWidget
{
    Q_OBJECT
public:
    // keeper: the running program's, whose state is shown and which follows
    // new settings; null when the report runs alone (lurn --report).
    explicit ReportWindow(RecordKeeper* keeper, QWidget* parent = nullptr);
    ~ReportWindow() override;

    // Loads again with the filter as it stands.
    void reload();
    // Sets the whole filter at once and loads once.
    void setFilter(const QDate& from, const QDate& to, const QString& station = {});
    // Writes the rows on show to path (what "Exportar CSV…" does once a file
    // is chosen).
    void exportTo(const QString& path);

    // The counter link's state on this station, shown in the status lines.
    void showRoomLink(const LinkStatus& status);

    // The records on show.
    const ReportModel& model() const { return *m_model; }
    // How long the last load took, from the request to the rows on screen.
    qint64 lastLoadMs() const { return m_lastLoadMs; }

signals:
    // A load is on screen.
    void shown(int rows);
    // An export has finished; problem is empty when it went well.
    void exported(const QString& path, int rows, const QString& problem);
    // "Guardar" stored new settings in Lurn.conf.
    void settingsSaved(const RecordsSettings& settings);

private:
    void buildControls();
    void applyLoad(const LoadResult& result);
    void showOrigin();
    void chooseExportFile();
    void testServer();
    void saveSettings();
    void setRange(const QDate& from, const QDate& to);

    RecordKeeper* m_keeper;
    ReportLoader* m_loader;
    ReportModel* m_model;
    RecordsSettings m_settings;
    LoadResult m_last;
    std::optional<LinkStatus> m_roomLink;
    int m_waitingFor = 0;
    bool m_settingRange = false;
    QElapsedTimer m_loadTimer;
    qint64 m_lastLoadMs = 0;

    QDateEdit* m_from;
    QDateEdit* m_to;
    QComboBox* m_station;
    QPushButton* m_export;
    QTableView* m_table;
    QWidget* m_chart; // the takings chart (see ChartModule)
    QLabel* m_totals;
    QLabel* m_origin;
    QLineEdit* m_stationEdit;
    QLineEdit* m_serverEdit;
    QComboBox* m_language; // "Idioma": es, en, ca, or empty for the desktop's
    QPushButton* m_test;
    QPushButton* m_save;
    QLabel* m_settingsNote;
};
