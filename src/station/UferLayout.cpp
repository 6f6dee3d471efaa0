// The main window's controls: positions and sizes are client coordinates at
// 96 dpi; Qt scales them on denser screens.
#include "countdown/CountdownTimer.h"
#include "station/Artwork.h"
#include "station/Ufer.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <utility>

namespace {

template <typename W> W* place(W* widget, const char* name, int x, int y, int w, int h)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

// A label that sizes itself to its text, like every label of this window.
QLabel* label(QWidget* parent, const char* name, const QString& text, int x, int y, int h = 13)
{
    auto* l = place(new QLabel(text, parent), name, x, y, 0, h);
    l->resize(l->sizeHint().width(), h);
    return l;
}

QLineEdit* edit(QWidget* parent, const char* name, int x, int y, int w, int h = 21)
{
    return place(new QLineEdit(parent), name, x, y, w, h);
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QIcon& icon,
                    int iconSize, int x, int y, int w, int h)
{
    auto* b = place(new QPushButton(icon, caption, parent), name, x, y, w, h);
    b->setIconSize(QSize(iconSize, iconSize));
    return b;
}

QFrame* outline(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* f = place(new QFrame(parent), name, x, y, w, h);
    f->setFrameStyle(QFrame::Box | QFrame::Plain);
    f->setLineWidth(1);
    return f;
}

} // namespace

void TfmFer::buildControls()
{
    setObjectName(QStringLiteral("fmFer"));
    setWindowTitle(QStringLiteral("Lurn"));
    setWindowIcon(artwork::applicationIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(391, 359);
    setFont(artwork::windowFont());

    // The frames first, so that the controls they surround lie above them.
    outline(this, "Shape1", 8, 176, 169, 113);
    outline(this, "Shape2", 8, 296, 169, 57);

    ListBox1 = place(new QListWidget(this), "ListBox1", 8, 40, 177, 129);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setUniformItemSizes(true);
    nouNom = edit(this, "nouNom", 8, 16, 177);
    bbAnadir = button(this, "bbAnadir", tr("Añadir"), artwork::add(), 14, 192, 16, 65, 25);
    bbEliminar = button(this, "bbEliminar", tr("Eliminar"), artwork::remove(), 14, 192, 48, 65, 25);
    edHoras = edit(this, "edHoras", 16, 224, 41);
    edHoras->setToolTip(QStringLiteral("0-23"));
    edMinutos = edit(this, "edMinutos", 72, 224, 41);
    edMinutos->setToolTip(QStringLiteral("0-59"));
    edSegundos = edit(this, "edSegundos", 128, 224, 41);
    edSegundos->setToolTip(QStringLiteral("0-59"));
    bbIniciar = button(this, "bbIniciar", tr("&Iniciar"), artwork::start(), 18, 16, 256, 75, 25);
    bbParar = button(this, "bbParar", tr("&Parar"), artwork::stop(), 18, 96, 256, 75, 25);
    edMinutosAntes = edit(this, "edMinutosAntes", 56, 304, 41);
    edMinutosAntes->setToolTip(QStringLiteral("0-59"));
    cbVerTiempo = place(new QCheckBox(tr("Ver tiempo"), this), "cbVerTiempo", 192, 80, 73, 17);
    cbVerTiempo->setChecked(true);

    Panel1 = place(new QFrame(this), "Panel1", 184, 248, 89, 105);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    QLabel* ratesLabel = label(Panel1, "Label14", tr("Tarifa (pts/hora):"), 6, 8);
    rbTarifa1 = place(new QRadioButton(Panel1), "rbTarifa1", 8, 24, 16, 17);
    rbTarifa1->setAccessibleName(tr("Tarifa 1"));
    rbTarifa1->setChecked(true);
    edTarifa1 = edit(Panel1, "edTarifa1", 24, 24, 59);
    edTarifa1->setText(QStringLiteral("500"));
    edTarifa2 = edit(Panel1, "edTarifa2", 24, 48, 59);
    edTarifa2->setText(QStringLiteral("1000"));
    rbTarifa2 = place(new QRadioButton(Panel1), "rbTarifa2", 8, 48, 16, 17);
    rbTarifa2->setAccessibleName(tr("Tarifa 2"));
    QLabel* costLabel = label(Panel1, "Label15", tr("Lleva gastado :"), 8, 72);
    lblGasto = label(Panel1, "lblGasto", QStringLiteral("0"), 8, 88);

    edClave = edit(this, "edClave", 192, 124, 80);
    edClave->setEchoMode(QLineEdit::Password);
    edRepetirClave = edit(this, "edRepetirClave", 192, 158, 80);
    edRepetirClave->setEchoMode(QLineEdit::Password);
    bbContinuar =
        button(this, "bbContinuar", tr("&Continuar"), artwork::resume(), 18, 16, 256, 75, 25);
    bbContinuar->hide();

    QLabel* listLabel = label(this, "Label1", tr("Programas a terminar :"), 8, 0);
    label(this, "Label2", tr("Cuenta atrás :"), 16, 184);
    QLabel* hoursLabel = label(this, "Label3", tr("Horas"), 16, 208);
    QLabel* minutesLabel = label(this, "Label4", tr("Minutos"), 72, 208);
    QLabel* secondsLabel = label(this, "Label5", tr("Segundos"), 128, 208);
    QLabel* warnLabel = label(this, "Label6", tr("Avisar "), 16, 312);
    label(this, "Label7", tr("minutos antes"), 104, 312);
    label(this, "Label8", tr("(0 si no hay que avisar)"), 16, 328);
    label(this, "Label9", tr("que queda"), 208, 96);
    label(this, "Label10", tr("Para añadir tiempo"), 184, 184);
    label(this, "Label11", tr("ampliar estas cifras"), 184, 200);
    label(this, "Label13", tr("y darle al tabulador"), 184, 216);
    label(this, "Label12", QStringLiteral("<---------"), 184, 232);
    QLabel* passwordLabel = label(this, "Label16", tr("Clave :"), 192, 112);
    QLabel* repeatLabel = label(this, "Label17", tr("Repetir clave :"), 192, 146);

    auto* logo = place(new QLabel(this), "Image1", 277, 1, 113, 193);
    logo->setPixmap(artwork::logo());
    logo->setScaledContents(true);

    label(this, "Label20", tr("Hecho con cariño por"), 280, 208);
    label(this, "Label18", tr("los de Lurn"), 280, 232);
    label(this, "Label19", QStringLiteral("2026"), 280, 248);
    label(this, "Label21", tr("Versión 1.0"), 280, 264);
    label(this, "Label22", tr("Dudas y avisos:"), 280, 288);
    label(this, "Label23", QStringLiteral("soporte@"), 280, 304);
    label(this, "Label24", QStringLiteral("lurn.example"), 280, 320);
    label(this, "Label25", tr("(responde en días)"), 280, 336);

    // In the free corner right of the credits, clear of every label; kept out
    // of the tab order, which stays as it was.
    reportButton = place(new QPushButton(tr("Registro"), this), "reportButton", 338, 245, 50, 24);
    reportButton->setFocusPolicy(Qt::NoFocus);
    reportButton->setToolTip(tr("Registro de sesiones (Ctrl+R)"));

    Timer1 = &m_countdown->timer();

    // What a screen reader says for each control, and the labels tied to the
    // fields they name (the labels' texts carry no shortcut of their own).
    const std::pair<QWidget*, QString> names[] = {
        {ListBox1, tr("Programas a terminar")},
        {nouNom, tr("Programa que añadir a la lista")},
        {edHoras, tr("Horas")},
        {edMinutos, tr("Minutos")},
        {edSegundos, tr("Segundos")},
        {edMinutosAntes, tr("Minutos de aviso antes del final")},
        {cbVerTiempo, tr("Ver tiempo que queda")},
        {edTarifa1, tr("Importe de la tarifa 1 (pts/hora)")},
        {edTarifa2, tr("Importe de la tarifa 2 (pts/hora)")},
        {edClave, tr("Clave")},
        {edRepetirClave, tr("Repetir clave")},
        {reportButton, tr("Registro de sesiones")},
        {Panel1, tr("Tarifa")},
    };
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(name);
    cbVerTiempo->setAccessibleDescription(tr("En la barra de tareas"));
    lblGasto->setAccessibleDescription(tr("Lleva gastado"));
    listLabel->setBuddy(ListBox1);
    hoursLabel->setBuddy(edHoras);
    minutesLabel->setBuddy(edMinutos);
    secondsLabel->setBuddy(edSegundos);
    warnLabel->setBuddy(edMinutosAntes);
    ratesLabel->setBuddy(edTarifa1);
    costLabel->setBuddy(lblGasto);
    passwordLabel->setBuddy(edClave);
    repeatLabel->setBuddy(edRepetirClave);

    QWidget* order[] = {ListBox1,    nouNom,         bbAnadir,   bbEliminar, edHoras,
                        edMinutos,   edSegundos,     bbIniciar,  bbParar,    edMinutosAntes,
                        cbVerTiempo, rbTarifa1,      edTarifa1,  edTarifa2,  rbTarifa2,
                        edClave,     edRepetirClave, bbContinuar};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}
