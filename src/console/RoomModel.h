#pragma once

#include "console/RoomSnapshot.h"

#include <QAbstractTableModel>
#include <QLocale>
#include <QStringList>

// One line per station. A new snapshot changes the lines in place (only the
// lines that differ are announced); the seconds between snapshots touch the
// time-left column alone, so that a room of 100 stations repaints one column
// once a second.
class RoomModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Station, State, TimeLeft, Cost, Rate, Started, Takings, ColumnCount };

    explicit RoomModel(QObject* parent = nullptr);

    // localNowMs: this computer's clock when the snapshot arrived; the gap to
    // the server's clock is kept, so that a counter PC whose clock is off
    // still counts the stations' time right.
    void setSnapshot(RoomSnapshotPtr snapshot, std::int64_t localNowMs);
    // Another second: the time left (and, once a row goes quiet, its state).
    void tick(std::int64_t localNowMs);

    // How long a station's row may go unwritten before it shows "Sin
    // conexión" (kOfflineAfterMs unless a test wants to wait less).
    void setOfflineAfterMs(std::int64_t ms);

    const StationRow* stationAt(int row) const;
    int rowOf(const QString& station) const;
    // Today's takings of every station, sound sessions only (held at the
    // largest number rather than wrapping).
    std::int64_t takingsTotal() const;
    // The stations whose row or today's sessions hold doubtful values.
    QStringList doubtfulStations() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::int64_t serverNow() const { return m_localNowMs + m_clockGapMs; }
    QVariant text(const StationRow& row, int column) const;
    StationLook look(const StationRow& row, std::int64_t serverNowMs) const
    {
        return stationLook(row, serverNowMs, m_offlineAfterMs);
    }

    RoomSnapshotPtr m_snapshot;
    std::int64_t m_clockGapMs = 0; // server minus local
    std::int64_t m_localNowMs = 0;
    std::int64_t m_offlineAfterMs = kOfflineAfterMs;
    QLocale m_locale;
};
