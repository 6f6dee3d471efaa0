// The least a Qt Widgets program does to show one window of the main
// window's size and title: what any Qt window costs, shown beside the
// start-up benchmark's measure for comparison.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Lurn"));
    window.setFixedSize(391, 359);
    window.show();
    return QApplication::exec();
}
