#include "report/ProgramRecords.h"

#include "language/Language.h"
#include "platform/Backend.h"
#include "platform/Platform.h"
#include "platform/SettingsStore.h"
#include "platform/SystemClock.h"
#include "records/RecordKeeper.h"
#include "records/RecordsSettings.h"
#include "records/SessionRecorder.h"
#include "records/SqliteRecordStore.h"
#include "report/ReportWindow.h"
#include "station/Artwork.h"
#include "station/Ufer.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

ProgramRecords::ProgramRecords(TfmFer& window) : m_window(window)
{
    const RecordsSettings settings = storedRecordsSettings();
    m_keeper = std::make_unique<RecordKeeper>(recordsDirectory(), settings.server);
    m_recorder = std::make_unique<SessionRecorder>(window.countdown(), *m_keeper, settings.station);
    connect(&window, &TfmFer::closed, m_recorder.get(), &SessionRecorder::programEnding);
    connect(&window, &TfmFer::reportRequested, this, &ProgramRecords::openReport);
    connect(&window.countdown(), &Countdown::changed, this, [this](CountdownEvent event) {
        // The takings are the owner's, not the customer's.
        if (event == CountdownEvent::LockShown && m_report)
            m_report->close();
    });
    // The session manager or a signal ends the program without closing its
    // window: the countdown is kept for the next start, and so is its record.
    connect(qApp, &QCoreApplication::aboutToQuit, this,
            [this] { m_recorder->programInterrupted(); });
}

ProgramRecords::~ProgramRecords()
{
    m_report.reset();
    m_recorder->programInterrupted();
    m_recorder.reset();
    m_keeper.reset();
}

void ProgramRecords::openReport()
{
    if (m_window.isLocked())
        return;
    if (!m_report) {
        m_report = std::make_unique<ReportWindow>(m_keeper.get());
        connect(m_report.get(), &ReportWindow::settingsSaved, this,
                [this](const RecordsSettings& settings) {
                    m_recorder->setStation(settings.station);
                    m_keeper->setServer(settings.server);
                });
        if (m_roomLink)
            m_report->showRoomLink(*m_roomLink);
    } else {
        m_report->reload();
    }
    m_report->show();
    m_report->raise();
    m_report->activateWindow();
}

void ProgramRecords::showRoomLink(const LinkStatus& status)
{
    m_roomLink = status;
    if (m_report)
        m_report->showRoomLink(status);
}

int runReportAlone(int argc, char* argv[])
{
    std::string why;
    if (!platform::prepareToStart(argc, argv, why)) {
        std::fprintf(stderr, "lurn: %s\n", why.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lurn"));
    useLanguage(storedLanguage());
    QApplication::setWindowIcon(artwork::applicationIcon());
    platform::SystemClock clock;
    platform::services().clock = &clock;
    int code = 0;
    {
        ReportWindow report(nullptr);
        report.show();
        code = QApplication::exec();
    }
    platform::services().clock = nullptr;
    return code;
}
