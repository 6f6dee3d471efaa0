#include "LurnFixture.h"

#include "platform/AppShell.h"
#include "station/ProgramWindows.h"
#include "station/Ufer.h"
#include "station/uAviso.h"
#include "station/uDemanaClau.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTimer>

LurnFixture::LurnFixture(const QString& configHome)
    : m_configHome(configHome.isEmpty() ? m_tempDir.path() : configHome)
{
    qputenv("XDG_CONFIG_HOME", m_configHome.toUtf8());
    QApplication::setQuitOnLastWindowClosed(false);
    m_backend = platform::installBackend();
    platform::services().clock = &clock;
    platform::services().beep = &beep;

    createWindows();
}

LurnFixture::~LurnFixture()
{
    destroyWindows();
    m_backend.reset();
}

void LurnFixture::destroyWindows()
{
    if (fmFer)
        ::destroyWindows();
}

void onNextModal(std::function<void(QWidget*)> action)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        action(modal);
    });
    poll->start();
}

void answerNextMessageBox(SeenBox* seen)
{
    onNextModal([seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            answerNextMessageBox(seen); // not the box yet: keep watching
            return;
        }
        if (seen) {
            seen->caption = box->windowTitle();
            seen->text = box->text();
            seen->icon = box->icon();
        }
        box->buttons().constFirst()->click();
    });
}

bool waitForNoModal(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (QApplication::activeModalWidget() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !QApplication::activeModalWidget();
}
