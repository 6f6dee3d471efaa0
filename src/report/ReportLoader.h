#pragma once

#include "report/ReportData.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

class QThread;

// Where the report reads from: the server when one is set (every station's
// records), else, or when it cannot be reached, this computer's file.
struct ReportSource
{
    QString server;    // a postgresql:// URI, or empty
    QString directory; // where the records file lives
    QString localFile; // the file the program writes now, when it runs; else found in directory
};

struct LoadResult
{
    int generation = 0;
    ReportContent content;
    QStringList stations; // every station in the records read, for the filter
    QString origin;       // where these records come from (Spanish)
    QString problem;      // why not from where they should (Spanish); empty when fine
    bool fromServer = false;
    QString localFile;    // this computer's records file, when there is one
    int localUnsent = -1; // records of this computer waiting for the server; -1: unknown
    int localSetAside = 0;         // records of this computer the server refused
    QStringList localSetAsideRows; // the first of them: "id (reason)"
};

// Reads the records for the report, writes its CSV files and tries servers, on
// a thread of its own: a year of records, a slow disk or a dead server never
// hold up the window. Answers come as signals in the loader's thread.
class ReportLoader final : public QObject
{
    Q_OBJECT
public:
    explicit ReportLoader(QObject* parent = nullptr);
    // Lets the job under way finish, then ends the thread.
    ~ReportLoader() override;
    ReportLoader(const ReportLoader&) = delete;
    ReportLoader& operator=(const ReportLoader&) = delete;

    // Loads the request; a load asked for before this one and not yet started
    // is dropped. Returns the generation that loaded() will carry.
    int load(const ReportSource& source, const ReportRequest& request);
    // Writes the rows to path, replacing the file only once it is complete.
    void exportCsv(std::shared_ptr<const std::vector<SessionRecord>> rows, const QString& path);
    // Connects to the server, creating the table when it is missing, and
    // checks that the role may write it.
    void testServer(const QString& uri);

signals:
    void loaded(const LoadResult& result);
    void exported(const QString& path, int rows, const QString& problem);
    void tested(const QString& uri, bool ok, const QString& text);

private:
    class Worker;
    QThread* m_thread;
    Worker* m_worker;
    std::atomic<int> m_latest{0};
};
