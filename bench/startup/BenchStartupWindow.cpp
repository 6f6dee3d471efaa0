// The start-up benchmark's measure: a window showing what Lurn's main window
// shows (the same kinds and number of controls at the same places, the same
// texts, the same pictures, the same fixed size and face), written the plain
// way, with nothing behind it: no settings, no countdown, no other window, no
// window system or session work. What Lurn takes beyond this window is what
// its own start costs.
#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QFontDatabase>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

namespace {

QPixmap picture(const char* name)
{
    return QPixmap(QStringLiteral(":/lurn/%1.png").arg(QLatin1String(name)), "png");
}

QIcon twoState(const char* name, const char* disabled)
{
    QIcon icon(picture(name));
    icon.addPixmap(picture(disabled), QIcon::Disabled);
    return icon;
}

QLabel* label(QWidget* parent, const QString& text, int x, int y)
{
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->resize(l->sizeHint().width(), 13);
    return l;
}

QLineEdit* edit(QWidget* parent, int x, int y, int w)
{
    auto* e = new QLineEdit(parent);
    e->setGeometry(x, y, w, 21);
    return e;
}

QPushButton* button(QWidget* parent, const QString& text, const QIcon& icon, int iconSize, int x,
                    int y, int w, int h)
{
    auto* b = new QPushButton(icon, text, parent);
    b->setGeometry(x, y, w, h);
    b->setIconSize(QSize(iconSize, iconSize));
    return b;
}

QFrame* frame(QWidget* parent, int style, int x, int y, int w, int h)
{
    auto* f = new QFrame(parent);
    f->setFrameStyle(style);
    f->setGeometry(x, y, w, h);
    return f;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(picture("lurn")));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Lurn"));
    window.setFixedSize(391, 359);
    QFont face = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    face.setPointSize(8);
    face.setStretch(85);
    window.setFont(face);

    frame(&window, QFrame::Box | QFrame::Plain, 8, 176, 169, 113);
    frame(&window, QFrame::Box | QFrame::Plain, 8, 296, 169, 57);
    (new QListWidget(&window))->setGeometry(8, 40, 177, 129);
    edit(&window, 8, 16, 177);
    button(&window, QStringLiteral("Añadir"), QIcon(picture("add")), 14, 192, 16, 65, 25);
    button(&window, QStringLiteral("Eliminar"), QIcon(picture("remove")), 14, 192, 48, 65, 25);
    edit(&window, 16, 224, 41);
    edit(&window, 72, 224, 41);
    edit(&window, 128, 224, 41);
    button(&window, QStringLiteral("&Iniciar"), twoState("start", "start-disabled"), 18, 16, 256,
           75, 25);
    button(&window, QStringLiteral("&Parar"), twoState("stop", "stop-disabled"), 18, 96, 256, 75,
           25)
        ->setEnabled(false);
    edit(&window, 56, 304, 41);
    auto* check = new QCheckBox(QStringLiteral("Ver tiempo"), &window);
    check->setGeometry(192, 80, 73, 17);
    check->setChecked(true);

    QFrame* panel = frame(&window, QFrame::Panel | QFrame::Raised, 184, 248, 89, 105);
    label(panel, QStringLiteral("Tarifa (pts/hora):"), 6, 8);
    auto* first = new QRadioButton(panel);
    first->setGeometry(8, 24, 16, 17);
    first->setChecked(true);
    edit(panel, 24, 24, 59)->setText(QStringLiteral("500"));
    edit(panel, 24, 48, 59)->setText(QStringLiteral("1000"));
    (new QRadioButton(panel))->setGeometry(8, 48, 16, 17);
    label(panel, QStringLiteral("Lleva gastado :"), 8, 72);
    label(panel, QStringLiteral("0"), 8, 88);

    edit(&window, 192, 124, 80)->setEchoMode(QLineEdit::Password);
    edit(&window, 192, 158, 80)->setEchoMode(QLineEdit::Password);
    button(&window, QStringLiteral("&Continuar"), twoState("continue", "continue-disabled"), 18, 16,
           256, 75, 25)
        ->hide();

    const struct
    {
        const char* text;
        int x, y;
    } texts[] = {
        {"Programas a terminar :", 8, 0},   {"Cuenta atrás :", 16, 184},
        {"Horas", 16, 208},                 {"Minutos", 72, 208},
        {"Segundos", 128, 208},             {"Avisar ", 16, 312},
        {"minutos antes", 104, 312},        {"(0 si no hay que avisar)", 16, 328},
        {"que queda", 208, 96},             {"Para añadir tiempo", 184, 184},
        {"ampliar estas cifras", 184, 200}, {"y darle al tabulador", 184, 216},
        {"<---------", 184, 232},           {"Clave :", 192, 112},
        {"Repetir clave :", 192, 146},      {"Hecho con cariño por", 280, 208},
        {"los de Lurn", 280, 232},          {"2026", 280, 248},
        {"Versión 1.0", 280, 264},          {"Dudas y avisos:", 280, 288},
        {"soporte@", 280, 304},             {"lurn.example", 280, 320},
        {"(responde en días)", 280, 336},
    };
    for (const auto& t : texts)
        label(&window, QString::fromUtf8(t.text), t.x, t.y);

    auto* logo = new QLabel(&window);
    logo->setGeometry(277, 1, 113, 193);
    logo->setPixmap(picture("logo"));
    logo->setScaledContents(true);
    (new QPushButton(QStringLiteral("Registro"), &window))->setGeometry(338, 245, 50, 24);

    window.show();
    return QApplication::exec();
}
