#include "report/chart/TakingsChart.h"

#include "report/ReportData.h"

#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QLocale>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>

TakingsChart::TakingsChart(QWidget* parent) : QChartView(new QChart, parent)
{
    setObjectName(QStringLiteral("takingsChart"));
    setRenderHint(QPainter::Antialiasing, false);
    chart()->setAnimationOptions(QChart::NoAnimation);
    chart()->legend()->setAlignment(Qt::AlignRight);
    chart()->setMargins(QMargins(4, 4, 4, 4));
}

void TakingsChart::show(const ReportContent& content)
{
    QChart* c = chart();
    c->removeAllSeries();
    for (QAbstractAxis* axis : c->axes()) {
        c->removeAxis(axis);
        delete axis;
    }

    const QLocale locale;
    // Every bar is an item of its own to Qt Charts: a year of twenty
    // stations would hold the window up for its drawing. Past this many bars
    // the days show the stations' total, in one colour.
    const bool byStation =
        content.stations.size() > 1 && content.days * content.stations.size() <= kMostBars;
    c->setTitle(byStation || content.stations.size() <= 1
                    ? QCoreApplication::translate("TakingsChart", "Recaudación por día")
                    : QCoreApplication::translate("TakingsChart",
                                                  "Recaudación por día (suma de los puestos; "
                                                  "elija un puesto o menos días para verlos "
                                                  "por separado)"));
    auto* series = new QStackedBarSeries;
    series->setBarWidth(0.9);
    std::int64_t highest = 0;
    std::vector<std::int64_t> dayTotals(std::size_t(content.days), 0);
    QList<qreal> totals;
    for (qsizetype s = 0; s < content.stations.size(); ++s) {
        QList<qreal> values;
        values.reserve(content.days);
        const auto& days = content.byDay[std::size_t(s)];
        for (int d = 0; d < content.days; ++d) {
            values << qreal(days[std::size_t(d)]);
            dayTotals[std::size_t(d)] += days[std::size_t(d)];
        }
        if (byStation) {
            auto* set = new QBarSet(content.stations.at(s));
            set->append(values);
            series->append(set);
        }
    }
    if (!byStation) {
        auto* set = new QBarSet(content.stations.size() == 1
                                    ? content.stations.front()
                                    : QCoreApplication::translate("TakingsChart", "Todos"));
        for (std::int64_t t : dayTotals)
            totals << qreal(t);
        set->append(totals);
        series->append(set);
    }
    for (std::int64_t t : dayTotals)
        highest = std::max(highest, t);
    c->legend()->setVisible(byStation);
    c->addSeries(series);

    // A label for each day of a short range, one for each month of a long one.
    auto* x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    // Day d's bar stands on d, from d - 0.5 to d + 0.5; the first label too.
    x->setStartValue(-0.5);
    const QDate first = content.request.from;
    if (content.days <= 31) {
        for (int d = 0; d < content.days; ++d)
            x->append(locale.toString(first.addDays(d), QStringLiteral("d MMM")), d + 0.5);
    } else {
        int start = 0;
        while (start < content.days) {
            const QDate day = first.addDays(start);
            const QDate nextMonth = QDate(day.year(), day.month(), 1).addMonths(1);
            const int end = std::min<int>(content.days, int(first.daysTo(nextMonth)));
            x->append(locale.toString(day, content.days > 400 ? QStringLiteral("MMM yy")
                                                              : QStringLiteral("MMM")),
                      end - 0.5);
            start = end;
        }
    }
    x->setRange(-0.5, std::max(content.days, 1) - 0.5);
    x->setGridLineVisible(false);
    c->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);

    auto* y = new QValueAxis;
    y->setRange(0, highest > 0 ? qreal(highest) * 1.1 : 1.0);
    y->setLabelFormat(QStringLiteral("%.0f"));
    y->applyNiceNumbers();
    c->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
}

// The module's entry points, looked up by name when the report first needs a
// chart (see ChartModule).
extern "C" Q_DECL_EXPORT QWidget* lurnCreateTakingsChart(QWidget* parent)
{
    return new TakingsChart(parent);
}

extern "C" Q_DECL_EXPORT void lurnShowTakings(QWidget* chart, const ReportContent& content)
{
    static_cast<TakingsChart*>(chart)->show(content);
}
