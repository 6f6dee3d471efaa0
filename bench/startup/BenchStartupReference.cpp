// The references for the start-up benchmark: the least a Qt Widgets program
// does to show one window of the main window's size and title, and
//   bench_startup_reference --text
// the same window showing one line of text, which is what every window with
// a label pays for the text machinery (fontconfig's configuration, a font
// face, shaping) before it can be shown.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Lurn"));
    window.setFixedSize(391, 359);
    if (QCoreApplication::arguments().contains(QStringLiteral("--text"))) {
        auto* label = new QLabel(QStringLiteral("Programas a terminar :"), &window);
        label->move(8, 0);
    }
    window.show();
    return QApplication::exec();
}
