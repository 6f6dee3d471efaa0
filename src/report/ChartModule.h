#pragma once

class QWidget;
struct ReportContent;

// The chart of the takings lives in a module of its own (lurn-chart.so),
// loaded when a report first shows one: Qt Charts and the OpenGL libraries
// behind it would otherwise be loaded at every start of the program, for a
// window the operator opens now and then.
//
// The module is looked for in $LURN_MODULE_DIR, beside the executable, and
// where it is installed. Without it the report shows a line saying so in the
// chart's place; everything else works.
QWidget* createTakingsChart(QWidget* parent = nullptr);
void showTakings(QWidget* chart, const ReportContent& content);
