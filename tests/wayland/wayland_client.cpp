// A stand-in for "another program" that is a native Wayland client (as every
// Qt 6 and GTK 4 program is on a Wayland desktop), for the tests and the
// benchmark: Qt windows on Qt's wayland platform, with a chosen title, that
// react to the compositor's close requests as told and report them on stdout.
//
//   wayland_client --title T [--count N] [--mode close|refuse] [--fullscreen]
//
// Prints "ready" once every window is shown, then "close <n>" for each close
// request to window n (0-based). In close mode a window asked to close closes,
// and the program exits when it has none left. Reads commands from stdin:
// "title <n> <text>" retitles window n and answers "titled"; end of input ends
// the program.

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QSocketNotifier>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

void say(const QByteArray& line)
{
    std::fputs((line + "\n").constData(), stdout);
    std::fflush(stdout);
}

class Window final : public QRasterWindow
{
public:
    Window(int index, bool refuse, std::function<void()> exposed)
        : m_index(index), m_refuse(refuse), m_exposed(std::move(exposed))
    {
        resize(160, 60);
    }
    bool wasExposed() const { return m_wasExposed; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(QRect(QPoint(), size()),
                                m_index % 2 ? Qt::darkCyan : Qt::darkYellow);
    }
    void exposeEvent(QExposeEvent* event) override
    {
        QRasterWindow::exposeEvent(event);
        if (isExposed() && !m_wasExposed) {
            m_wasExposed = true;
            m_exposed();
        }
    }
    void closeEvent(QCloseEvent* event) override
    {
        say("close " + QByteArray::number(m_index));
        if (m_refuse)
            event->ignore();
        else
            QRasterWindow::closeEvent(event);
    }

private:
    int m_index;
    bool m_refuse;
    std::function<void()> m_exposed;
    bool m_wasExposed = false;
};

} // namespace

int main(int argc, char** argv)
{
    // A native Wayland client whatever the session says.
    qputenv("QT_QPA_PLATFORM", "wayland");
    qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
    QGuiApplication app(argc, argv);

    QByteArray title = "wayland client";
    int count = 1;
    bool refuse = false;
    bool fullscreen = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--title" && hasValue) {
            // Bytes as given: the title is set from them as UTF-8.
            title = QByteArray(argv[++i]);
        } else if (arg == "--count" && hasValue) {
            count = std::max(1, args[++i].toInt());
        } else if (arg == "--mode" && hasValue) {
            refuse = args[++i] == "refuse";
        } else if (arg == "--fullscreen") {
            fullscreen = true;
        } else {
            std::fprintf(stderr, "wayland_client: unknown or incomplete option\n");
            return 2;
        }
    }

    // The counters outlive the windows, which report to them as they go.
    int shown = 0;
    int open = count;
    std::vector<std::unique_ptr<Window>> windows;
    for (int i = 0; i < count; ++i) {
        auto w = std::make_unique<Window>(i, refuse, [&] {
            if (++shown == count)
                say("ready");
        });
        w->setTitle(QString::fromUtf8(count == 1 ? title : title + " #" + QByteArray::number(i)));
        QObject::connect(w.get(), &QWindow::visibleChanged, &app, [&](bool visible) {
            if (!visible && --open == 0)
                QCoreApplication::exit(0); // quit() would ask the windows to close
        });
        if (fullscreen)
            w->showFullScreen();
        else
            w->show();
        windows.push_back(std::move(w));
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[512];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::exit(0); // quit() would ask the windows to close
            return;
        }
        pending.append(buffer, n);
        for (qsizetype eol; (eol = pending.indexOf('\n')) >= 0;) {
            const QByteArray line = pending.left(eol);
            pending.remove(0, eol + 1);
            const QList<QByteArray> words = line.split(' ');
            if (words.size() >= 3 && words[0] == "title") {
                const int n = words[1].toInt();
                if (n >= 0 && n < count)
                    windows[std::size_t(n)]->setTitle(
                        QString::fromUtf8(line.mid(words[0].size() + words[1].size() + 2)));
                say("titled");
            }
        }
    });
    return QGuiApplication::exec();
}
