// A stand-in for a native Wayland program in the GNOME tests and benchmark:
// Qt top-level windows with a chosen title, shown through Qt's Wayland
// platform, that react to close requests as told and report on stdout what
// they were asked.
//
//   wayland_client --title T [--refuse] [--fullscreen] [--count N]
//
// Prints "shown" once every window is exposed, "close <n>" for each close
// request to window n (0-based), and "active <n>" / "inactive <n>" as the
// compositor gives window n the keyboard or takes it away. Without --refuse a
// window asked to close closes, and the program ends when none is left. End
// of input ends the program.

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {

void say(const QByteArray& line)
{
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

class Window final : public QWidget
{
public:
    Window(int number, bool refuse) : m_number(number), m_refuse(refuse) {}

protected:
    void closeEvent(QCloseEvent* event) override
    {
        say("close " + QByteArray::number(m_number));
        if (m_refuse)
            event->ignore();
        else
            event->accept();
    }

private:
    int m_number;
    bool m_refuse;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString title = QStringLiteral("wayland client");
    bool refuse = false;
    bool fullScreen = false;
    int count = 1;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--title") && i + 1 < args.size())
            title = args[++i];
        else if (args[i] == QLatin1String("--refuse"))
            refuse = true;
        else if (args[i] == QLatin1String("--fullscreen"))
            fullScreen = true;
        else if (args[i] == QLatin1String("--count") && i + 1 < args.size())
            count = std::max(1, args[++i].toInt());
        else {
            std::fprintf(stderr, "wayland_client: unknown option %s\n", qPrintable(args[i]));
            return 2;
        }
    }

    QList<QPointer<Window>> windows;
    for (int i = 0; i < count; ++i) {
        auto* w = new Window(i, refuse);
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->setWindowTitle(count == 1 ? title : title + QStringLiteral(" #%1").arg(i));
        w->resize(200, 80);
        if (fullScreen)
            w->showFullScreen();
        else
            w->show();
        windows.append(w);
    }
    // The last window closing ends the program (quitOnLastWindowClosed).

    // "shown" once every window is exposed: the compositor has mapped it.
    bool announced = false;
    auto check = [&] {
        int exposed = 0;
        for (const QPointer<Window>& w : windows)
            exposed += w && w->windowHandle() && w->windowHandle()->isExposed();
        if (!announced && exposed == count) {
            announced = true;
            say("shown");
        }
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        check();
        if (!announced)
            return;
        poll.stop();
        for (qsizetype i = 0; i < windows.size(); ++i) {
            QWindow* handle = windows[i] ? windows[i]->windowHandle() : nullptr;
            if (!handle)
                continue;
            const QByteArray number = QByteArray::number(i);
            auto report = [handle, number] {
                say((handle->isActive() ? "active " : "inactive ") + number);
            };
            QObject::connect(handle, &QWindow::activeChanged, &app, report);
            report();
        }
    });
    poll.start(20);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            QApplication::exit(0);
    });
    return QApplication::exec();
}
