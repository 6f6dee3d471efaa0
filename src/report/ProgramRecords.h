#pragma once

#include "remote/StationStatus.h"

#include <QObject>

#include <memory>

class RecordKeeper;
class ReportWindow;
class SessionRecorder;
class TfmFer;

// The session records while the program runs: where they go (from Lurn.conf,
// group "Registro"), the recorder following the main window's countdown, and
// the report window, opened by the main window's button and Ctrl+R while it
// is unlocked and closed whenever the lock comes up.
class ProgramRecords final : public QObject
{
    Q_OBJECT
public:
    explicit ProgramRecords(TfmFer& window);
    // A countdown still running ends its record as closed; what is left to
    // write is written.
    ~ProgramRecords() override;

    void openReport();
    // The counter link's state, for the report window's status lines.
    void showRoomLink(const LinkStatus& status);

    RecordKeeper& keeper() { return *m_keeper; }
    ReportWindow* reportWindow() const { return m_report.get(); }

private:
    TfmFer& m_window;
    std::unique_ptr<RecordKeeper> m_keeper;
    std::unique_ptr<SessionRecorder> m_recorder;
    std::unique_ptr<ReportWindow> m_report;
    std::optional<LinkStatus> m_roomLink;
};

// lurn --report: the report window alone, for the owner's desk. No countdown,
// no lock, and nothing recorded.
int runReportAlone(int argc, char* argv[]);
