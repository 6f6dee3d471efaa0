#include "station/uAviso.h"

#include "platform/AppShell.h"
#include "platform/Platform.h"
#include "platform/WindowPlacement.h"
#include "station/AccessibleRoles.h"
#include "station/Artwork.h"
#include "station/EventGuard.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

TfmAviso* fmAviso = nullptr;

void MakeTopMost(QWidget* window)
{
    platform::services().app->makeTopMost(window);
}

TfmAviso::TfmAviso()
{
    installAccessibleRoles();
    setObjectName(QStringLiteral("fmAviso"));
    setWindowTitle(tr("Aviso"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(201, 89);
    setFont(artwork::windowFont());
    const QFont bold = artwork::windowFont(10, true);

    lblQuedan = new QLabel(tr("Queda/n"), this);
    lblQuedan->setObjectName(QStringLiteral("lblQuedan"));
    lblQuedan->setFont(bold);
    lblQuedan->move(24, 8);
    lblQuedan->adjustSize();
    Label2 = new QLabel(tr("Avisa al administrador"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(bold);
    Label2->move(23, 32);
    Label2->resize(std::max(156, Label2->sizeHint().width()), 16);
    BitBtn1 = new QPushButton(artwork::ok(), tr("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(63, 56, 75, 25);
    BitBtn1->setIconSize(QSize(18, 18));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    platform::services().app->prepareWindow(this);
}

void TfmAviso::showMessage(const QString& text)
{
    if (text.isEmpty()) {
        lblQuedan->setWordWrap(false);
        lblQuedan->setMinimumSize(0, 0);
        lblQuedan->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        lblQuedan->setText(tr("Queda/n"));
        lblQuedan->adjustSize();
        Label2->show();
        setFixedSize(201, 89);
        BitBtn1->move(63, 56);
        return;
    }
    // A message of up to 500 characters: wrapped at a width a reader can
    // follow, as tall as it needs, OK below it.
    constexpr int kTextWidth = 352;
    lblQuedan->setWordWrap(true);
    // Whatever the counter typed is shown as typed, never as markup.
    lblQuedan->setTextFormat(Qt::PlainText);
    lblQuedan->setText(text);
    lblQuedan->setFixedWidth(kTextWidth);
    const int textHeight = lblQuedan->heightForWidth(kTextWidth);
    lblQuedan->setFixedHeight(textHeight);
    lblQuedan->move(24, 8);
    Label2->hide();
    setFixedSize(kTextWidth + 48, textHeight + 56);
    BitBtn1->move((width() - BitBtn1->width()) / 2, textHeight + 20);
}

void TfmAviso::FormActivate()
{
    MakeTopMost(this);
}

bool TfmAviso::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        guarded([this] { FormActivate(); });
    return QDialog::event(event);
}

void TfmAviso::showEvent(QShowEvent* event)
{
    // Before the window is mapped: some window managers (KWin) read how to
    // stack a window only when they first take it on.
    MakeTopMost(this);
    platform::centreOnScreen(this);
    setAccessibleDescription(!Label2->isHidden()
                                 ? lblQuedan->text() + QLatin1String(". ") + Label2->text()
                                 : lblQuedan->text());
    QDialog::showEvent(event);
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void TfmAviso::keyPressEvent(QKeyEvent* event)
{
    // Only OK closes the notice: Esc does not dismiss it by accident.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
