#pragma once

#include "records/SessionRecord.h"

#include <QAbstractTableModel>
#include <QLocale>

#include <memory>
#include <vector>

// The sessions of the report as a table. The rows are shared, never copied:
// a year of records is handed over from the loading thread as it is, and only
// the rows on screen are ever formatted.
class ReportModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Station, Start, End, Minutes, Rate, Cost, Reason, ColumnCount };

    explicit ReportModel(QObject* parent = nullptr);

    void setRows(std::shared_ptr<const std::vector<SessionRecord>> rows);
    const std::shared_ptr<const std::vector<SessionRecord>>& rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<const std::vector<SessionRecord>> m_rows;
    QLocale m_locale;
};
