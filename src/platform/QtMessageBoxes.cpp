#include "platform/QtMessageBoxes.h"

#include "platform/AppShell.h"
#include "platform/Platform.h"
#include "platform/WindowPlacement.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace platform {
namespace {

void runBox(QMessageBox::Icon icon, const QString& caption, const QString& text)
{
    // The box belongs to the window the user was working in, so that the
    // window manager hands the focus back to it afterwards; with no such
    // window (the program is minimised) it stands alone.
    QPointer<QWidget> owner = QApplication::activeWindow();
    if (owner && !owner->isVisible())
        owner = nullptr;
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, owner);
    QPushButton* ok =
        box.addButton(QCoreApplication::translate("MessageBoxes", "OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.setWindowModality(Qt::ApplicationModal);
    if (AppShell* app = services().app)
        app->prepareWindow(&box);
    box.adjustSize();
    centreOnScreen(&box);
    box.exec();
    if (owner && owner->isVisible())
        owner->activateWindow();
}

} // namespace

void QtMessageBoxes::showError(const QString& caption, const QString& text)
{
    runBox(QMessageBox::Critical, caption, text);
}

void QtMessageBoxes::showInformation(const QString& text)
{
    runBox(QMessageBox::Information, QCoreApplication::translate("MessageBoxes", "Information"),
           text);
}

void QtMessageBoxes::showNotice(const QString& caption, const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Warning, caption, text, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("operatorNotice"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    if (AppShell* app = services().app)
        app->prepareWindow(box);
    box->adjustSize();
    centreOnScreen(box);
    box->show();
}

} // namespace platform
