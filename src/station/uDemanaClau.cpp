#include "station/uDemanaClau.h"

#include "platform/AppShell.h"
#include "platform/Platform.h"
#include "platform/WindowPlacement.h"
#include "station/Artwork.h"
#include "station/EventGuard.h"
#include "station/Ufer.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

TfmDemanaClau* fmDemanaClau = nullptr;

namespace {

constexpr QPoint kPlace(642, 410);

} // namespace

TfmDemanaClau::TfmDemanaClau()
{
    setObjectName(QStringLiteral("fmDemanaClau"));
    setWindowTitle(tr("Clave"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(154, 84);
    setFont(artwork::windowFont());

    Label1 = new QLabel(tr("Clave de acceso :"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(8, 8);
    Label1->resize(Label1->sizeHint().width(), 13);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 24, 137, 21);
    Edit1->setEchoMode(QLineEdit::Password);
    BitBtn1 = new QPushButton(artwork::ok(), tr("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(8, 56, 75, 25);
    BitBtn1->setIconSize(QSize(18, 18));
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    setTabOrder(Edit1, BitBtn1);
    Label1->setBuddy(Edit1);
    Edit1->setAccessibleName(tr("Clave de acceso"));
    setAccessibleDescription(tr("Lurn está bloqueado: escriba la clave para volver"));

    connectHandler(BitBtn1, &QPushButton::clicked, this, &TfmDemanaClau::BitBtn1Click);
    platform::services().app->prepareWindow(this);
}

void TfmDemanaClau::BitBtn1Click()
{
    if (Edit1->text() == fmFer->edClave->text())
        done(QDialog::Accepted);
}

bool TfmDemanaClau::FormCloseQuery()
{
    // Compared exactly as typed: case counts and nothing is trimmed.
    if (Edit1->text() != fmFer->edClave->text())
        return false;
    Edit1->clear();
    return true;
}

bool TfmDemanaClau::agreesToSessionEnd() const
{
    return !m_shownOnce || Edit1->text() == fmFer->edClave->text();
}

void TfmDemanaClau::done(int result)
{
    // Every way out passes here: OK, Enter, Esc and the close box, whoever
    // sends it. Only the password lets it through.
    if (!FormCloseQuery())
        return;
    QDialog::done(result);
}

void TfmDemanaClau::showEvent(QShowEvent* event)
{
    m_shownOnce = true;
    placeOnScreen();
    Edit1->setFocus();
    QDialog::showEvent(event);
    // A screen reader says that the program is now locked.
    QAccessibleEvent started(this, QAccessible::DialogStart);
    QAccessible::updateAccessibility(&started);
}

// Where it always stands, moved only as far as needed to lie wholly on a
// screen too small for that place.
void TfmDemanaClau::placeOnScreen()
{
    QRect frame = platform::expectedFrame(this);
    frame.moveTopLeft(kPlace);
    const QScreen* screen = QGuiApplication::screenAt(kPlace);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        frame = platform::keptInside(frame, screen->availableGeometry());
    platform::placeFrame(this, frame.topLeft());
}
