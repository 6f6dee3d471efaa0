#pragma once

#include <QChartView>

struct ReportContent;

// The takings per day as bars, one colour per station, stacked: the height of
// a day's bar is that day's takings. A long range of many stations shows the
// days' totals only.
class TakingsChart final : public QChartView
{
    Q_OBJECT
public:
    // The most bars drawn one per station and day.
    static constexpr int kMostBars = 1500;

    explicit TakingsChart(QWidget* parent = nullptr);

    void show(const ReportContent& content);
};
