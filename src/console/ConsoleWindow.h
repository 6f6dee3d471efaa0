#pragma once

#include "console/RoomCommand.h"
#include "console/RoomSnapshot.h"

#include <QWidget>

#include <functional>

class CommandLog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;
class RoomModel;
class RoomSource;

// "Sala": the counter's view of every station, live, and the commands it
// sends them (Iniciar, Añadir tiempo, Parar, Mensaje).
class ConsoleWindow final : public QWidget
{
    Q_OBJECT
public:
    using Clock = std::function<std::int64_t()>; // ms since the epoch

    // serverUri: the Servidor setting; empty shows why nothing can be shown.
    explicit ConsoleWindow(const QString& serverUri, QWidget* parent = nullptr, Clock clock = {});
    ~ConsoleWindow() override;

    const RoomModel& model() const { return *m_model; }
    // The station of the selected line, or empty.
    QString selectedStation() const;
    void selectStation(const QString& station);

    // How long a station may stay quiet before it shows "Sin conexión"; the
    // stations' heartbeat makes the default right, a test waits less.
    void setOfflineAfterMs(std::int64_t ms);
    // How long an order stays valid from the click; a test waits less than
    // the real minute.
    void setOrderValidityMs(std::int64_t ms);

    // What the buttons do, on the selected station.
    void startSelected();
    void addTimeSelected(int minutes);
    void addTypedTime();
    void stopSelected();
    void messageSelected();

private:
    void buildControls();
    void applySnapshot(RoomSnapshotPtr snapshot);
    void showConnection(bool connected, const QString& why);
    void send(const RoomCommand& command);
    void updateActions();

    Clock m_clock;
    RoomModel* m_model;
    RoomSource* m_source = nullptr;
    QTimer* m_seconds;

    QLabel* m_connection;
    QTableView* m_table;
    QPushButton* m_start;
    QPushButton* m_add15;
    QPushButton* m_add30;
    QPushButton* m_add60;
    QLineEdit* m_addMinutes;
    QPushButton* m_add;
    QPushButton* m_stop;
    QPushButton* m_message;
    QLabel* m_total;
    QLabel* m_problem;
    CommandLog* m_log;
};
