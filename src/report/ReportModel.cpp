#include "report/ReportModel.h"

#include "report/ReportData.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

namespace {

QString shownTime(const QLocale& locale, std::int64_t utcMs)
{
    return locale.toString(QDateTime::fromMSecsSinceEpoch(utcMs), QLocale::ShortFormat);
}

// Whether a shown column rests on one of the doubtful stored ones.
bool shownDoubtful(int column, const QStringList& doubtful)
{
    switch (column) {
    case ReportModel::End:
        return doubtful.contains(QLatin1String("ended_at"));
    case ReportModel::Minutes:
        return doubtful.contains(QLatin1String("ended_at")) ||
               doubtful.contains(QLatin1String("last_seen_at"));
    case ReportModel::Rate:
        return doubtful.contains(QLatin1String("rate_per_hour"));
    case ReportModel::Cost:
        return doubtful.contains(QLatin1String("cost"));
    default:
        return false;
    }
}

} // namespace

ReportModel::ReportModel(QObject* parent)
    : QAbstractTableModel(parent), m_rows(std::make_shared<const std::vector<SessionRecord>>())
{
}

void ReportModel::setRows(std::shared_ptr<const std::vector<SessionRecord>> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int ReportModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows->size());
}

int ReportModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ReportModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows->size()))
        return {};
    const SessionRecord& r = (*m_rows)[std::size_t(index.row())];
    if (role == Qt::TextAlignmentRole) {
        const bool number =
            index.column() == Minutes || index.column() == Rate || index.column() == Cost;
        return QVariant::fromValue(Qt::Alignment(Qt::AlignVCenter) |
                                   (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::BackgroundRole &&
        role != Qt::ForegroundRole)
        return {};
    const QStringList doubtful = doubtfulColumns(r);
    if (role != Qt::DisplayRole) {
        if (doubtful.isEmpty() ||
            (index.column() != Reason && !shownDoubtful(index.column(), doubtful)))
            return {};
        if (role == Qt::BackgroundRole)
            return QBrush(QColor(0xff, 0xd0, 0x90));
        if (role == Qt::ForegroundRole)
            return QBrush(Qt::black);
        return tr("El puesto escribió valores fuera de rango (%1): la sesión no se suma en los "
                  "totales.")
            .arg(doubtful.join(QStringLiteral(", ")));
    }
    if (shownDoubtful(index.column(), doubtful))
        return tr("dudoso");
    switch (index.column()) {
    case Station:
        return r.station;
    case Start:
        return shownTime(m_locale, r.startedAtMs);
    case End:
        return r.endedAtMs ? shownTime(m_locale, *r.endedAtMs) : QString();
    case Minutes:
        return m_locale.toString(qlonglong(shownMinutes(r)));
    case Rate:
        return m_locale.toString(r.ratePerHour);
    case Cost:
        return m_locale.toString(qlonglong(r.cost));
    case Reason:
        if (!doubtful.isEmpty())
            return tr("%1 (dudoso)").arg(endReasonText(r.endReason));
        return endReasonText(r.endReason);
    default:
        return {};
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Station:
        return tr("Puesto");
    case Start:
        return tr("Inicio");
    case End:
        return tr("Fin");
    case Minutes:
        return tr("Minutos");
    case Rate:
        return tr("Tarifa/hora");
    case Cost:
        return tr("Importe");
    case Reason:
        return tr("Final");
    default:
        return {};
    }
}
