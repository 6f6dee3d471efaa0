#include "console/RoomModel.h"

#include "rules/StoredValueBounds.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

namespace {

QColor lookColour(StationLook look)
{
    switch (look) {
    case StationLook::Idle:
        return QColor(0xd8, 0xf0, 0xd8); // free: green
    case StationLook::Running:
        return QColor(0xd8, 0xe6, 0xf8); // in use: blue
    case StationLook::Warning:
        return QColor(0xff, 0xe9, 0xa8); // notice up: amber
    case StationLook::Ended:
        return QColor(0xf8, 0xc8, 0xc8); // time up: red
    case StationLook::Stopped:
        return QColor(0xe4, 0xe4, 0xe4);
    case StationLook::Offline:
    case StationLook::Unknown:
        break;
    }
    return QColor(0xb8, 0xb8, 0xb8);
}

// The stored column each shown column comes from, when a station writes it.
const char* storedColumn(int column)
{
    switch (column) {
    case RoomModel::TimeLeft:
        return "ends_at";
    case RoomModel::Cost:
        return "cost";
    case RoomModel::Rate:
        return "rate_per_hour";
    case RoomModel::Started:
        return "started_at";
    default:
        return nullptr;
    }
}

bool isDoubtful(const StationRow& row, int column)
{
    const char* stored = storedColumn(column);
    if (column == RoomModel::Takings)
        return row.doubtfulSessionsToday > 0 || row.doubtful.contains(QLatin1String("sessions."));
    return stored && row.doubtful.split(QLatin1Char(',')).contains(QLatin1String(stored));
}

} // namespace

RoomModel::RoomModel(QObject* parent)
    : QAbstractTableModel(parent), m_snapshot(std::make_shared<RoomSnapshot>())
{
}

void RoomModel::setSnapshot(RoomSnapshotPtr snapshot, std::int64_t localNowMs)
{
    const RoomSnapshotPtr old = m_snapshot;
    m_snapshot = std::move(snapshot);
    const std::int64_t oldNow = serverNow();
    m_localNowMs = localNowMs;
    if (m_snapshot->serverNowMs != 0)
        m_clockGapMs = m_snapshot->serverNowMs - localNowMs;
    const auto& before = old->rows;
    const auto& after = m_snapshot->rows;
    bool sameStations = before.size() == after.size();
    for (std::size_t i = 0; sameStations && i < after.size(); ++i)
        sameStations = before[i].station == after[i].station;
    if (!sameStations) {
        // Stations come and go rarely (a new PC, a rename): start over.
        beginResetModel();
        endResetModel();
        return;
    }
    const std::int64_t now = serverNow();
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (before[i] == after[i] && look(before[i], oldNow) == look(after[i], now))
            continue;
        emit dataChanged(index(int(i), 0), index(int(i), ColumnCount - 1));
    }
}

void RoomModel::tick(std::int64_t localNowMs)
{
    const std::int64_t before = serverNow();
    m_localNowMs = localNowMs;
    const std::int64_t now = serverNow();
    const auto& rows = m_snapshot->rows;
    if (rows.empty())
        return;
    emit dataChanged(index(0, TimeLeft), index(int(rows.size()) - 1, TimeLeft), {Qt::DisplayRole});
    // A station whose heartbeat stops goes "Sin conexión" without waiting
    // for the next read.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (look(rows[i], before) != look(rows[i], now))
            emit dataChanged(index(int(i), 0), index(int(i), ColumnCount - 1));
    }
}

void RoomModel::setOfflineAfterMs(std::int64_t ms)
{
    m_offlineAfterMs = ms;
    if (!m_snapshot->rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

const StationRow* RoomModel::stationAt(int row) const
{
    if (row < 0 || row >= int(m_snapshot->rows.size()))
        return nullptr;
    return &m_snapshot->rows[std::size_t(row)];
}

int RoomModel::rowOf(const QString& station) const
{
    const auto& rows = m_snapshot->rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].station == station)
            return int(i);
    }
    return -1;
}

std::int64_t RoomModel::takingsTotal() const
{
    std::int64_t total = 0;
    for (const StationRow& row : m_snapshot->rows)
        total = saturatingAdd(total, row.takingsToday);
    return total;
}

QStringList RoomModel::doubtfulStations() const
{
    QStringList out;
    for (const StationRow& row : m_snapshot->rows) {
        if (!row.doubtful.isEmpty() || row.doubtfulSessionsToday > 0)
            out << row.station;
    }
    return out;
}

int RoomModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_snapshot->rows.size());
}

int RoomModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RoomModel::text(const StationRow& row, int column) const
{
    const auto number = [this](const std::optional<std::int64_t>& n) -> QVariant {
        if (!n)
            return QString();
        return m_locale.toString(qlonglong(*n));
    };
    if (isDoubtful(row, column) && column != Takings)
        return tr("dudoso");
    switch (column) {
    case Station:
        return row.station;
    case State:
        return lookWords(look(row, serverNow()));
    case TimeLeft: {
        const std::optional<std::int64_t> left = secondsLeft(row, serverNow());
        return left ? formatDuration(*left) : QString();
    }
    case Cost:
        return row.state == QLatin1String("idle") ? QVariant(QString()) : number(row.cost);
    case Rate:
        return row.state == QLatin1String("idle") ? QVariant(QString()) : number(row.ratePerHour);
    case Started:
        if (!row.startedAtMs || row.state == QLatin1String("idle"))
            return QString();
        return QDateTime::fromMSecsSinceEpoch(*row.startedAtMs)
            .toLocalTime()
            .toString(QStringLiteral("HH:mm:ss"));
    case Takings:
        if (isDoubtful(row, column))
            return tr("%1 + dudoso").arg(m_locale.toString(qlonglong(row.takingsToday)));
        return m_locale.toString(qlonglong(row.takingsToday));
    default:
        return {};
    }
}

QVariant RoomModel::data(const QModelIndex& index, int role) const
{
    const StationRow* row = stationAt(index.row());
    if (!row || index.column() < 0 || index.column() >= ColumnCount)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return text(*row, index.column());
    case Qt::BackgroundRole:
        if (index.column() == State)
            return QBrush(lookColour(look(*row, serverNow())));
        if (isDoubtful(*row, index.column()))
            return QBrush(QColor(0xff, 0xd0, 0x90)); // doubtful: orange
        return {};
    case Qt::ForegroundRole:
        if (index.column() == State || isDoubtful(*row, index.column()))
            return QBrush(Qt::black);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == Station || index.column() == State)
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        return int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (index.column() == Station && !row->host.isEmpty())
            return row->host;
        if (index.column() == Takings && isDoubtful(*row, Takings))
            return tr("Sesiones de hoy con un importe o un final fuera de rango: %1. No se "
                      "suman en la caja.")
                .arg(row->doubtfulSessionsToday);
        if ((index.column() == State || isDoubtful(*row, index.column())) &&
            !row->doubtful.isEmpty())
            return tr("El puesto escribió valores fuera de rango (%1): no se muestran ni se "
                      "suman.")
                .arg(row->doubtful);
        return {};
    default:
        return {};
    }
}

QVariant RoomModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Station:
        return tr("Puesto");
    case State:
        return tr("Estado");
    case TimeLeft:
        return tr("Tiempo restante");
    case Cost:
        return tr("Coste");
    case Rate:
        return tr("Tarifa/hora");
    case Started:
        return tr("Inicio");
    case Takings:
        return tr("Caja hoy");
    default:
        return {};
    }
}
