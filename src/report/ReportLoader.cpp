#include "report/ReportLoader.h"

#include "records/PostgresRecordStore.h"
#include "records/SqliteRecordStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

// Lives in the loader's thread, with the connections it keeps from one load
// to the next (Qt SQL connections belong to the thread that made them).
class ReportLoader::Worker final : public QObject
{
public:
    std::unique_ptr<PostgresRecordStore> server;
    std::unique_ptr<SqliteRecordStore> local;

    LoadResult load(const ReportSource& source, const ReportRequest& request);

private:
    bool loadFrom(RecordStore& store, const ReportFilter& filter, std::vector<SessionRecord>& rows,
                  QStringList& stations, StoreProblem& problem);
};

bool ReportLoader::Worker::loadFrom(RecordStore& store, const ReportFilter& filter,
                                    std::vector<SessionRecord>& rows, QStringList& stations,
                                    StoreProblem& problem)
{
    if (!store.isOpen() && !store.open(problem))
        return false;
    if (store.load(filter, rows, problem) && store.stations(stations, problem))
        return true;
    // A connection the server dropped since the last load: once more.
    if (problem.kind != StoreProblem::Kind::Unreachable || !store.open(problem))
        return false;
    problem = {};
    return store.load(filter, rows, problem) && store.stations(stations, problem);
}

LoadResult ReportLoader::Worker::load(const ReportSource& source, const ReportRequest& request)
{
    LoadResult result;
    std::vector<SessionRecord> rows;
    const ReportFilter filter = request.filter();
    bool done = false;

    if (!source.server.isEmpty()) {
        if (!server || server->location() != source.server)
            server = std::make_unique<PostgresRecordStore>(source.server);
        StoreProblem problem;
        done = loadFrom(*server, filter, rows, result.stations, problem);
        if (done) {
            result.fromServer = true;
            result.origin = QCoreApplication::translate(
                                "ReportLoader", "Servidor %1 (todos los puestos): conectado.")
                                .arg(source.server);
        } else {
            result.problem =
                QStringLiteral("Servidor %1: %2").arg(source.server, problemText(problem));
        }
    } else {
        server.reset();
    }

    QStringList skipped;
    StoreProblem unavailable;
    const QString path = source.localFile.isEmpty()
                             ? chooseRecordsFile(source.directory, skipped, &unavailable)
                             : source.localFile;
    if (unavailable)
        skipped << problemText(unavailable);
    if (!skipped.isEmpty())
        result.problem += (result.problem.isEmpty() ? QString() : QStringLiteral("\n")) +
                          skipped.join(QLatin1Char('\n'));
    if (!local || local->location() != path)
        local =
            path.isEmpty()
                ? nullptr
                : std::make_unique<SqliteRecordStore>(path, SqliteRecordStore::Access::ReadOnly);
    const bool localExists = local && QFileInfo::exists(path);
    if (localExists) {
        result.localFile = path;
        StoreProblem problem;
        if (!local->isOpen())
            local->open(problem);
        if (local->isOpen()) {
            int unsent = 0;
            if (local->unsentCount(unsent, problem))
                result.localUnsent = unsent;
            // A file of the first schema has none (and no table for them).
            StoreProblem ignored;
            if (!local->setAsideRows(result.localSetAside, result.localSetAsideRows, 5, ignored))
                result.localSetAside = 0;
        }
    }
    if (!done) {
        if (unavailable) {
            // Said above; not "no records yet".
        } else if (!localExists) {
            result.origin = QCoreApplication::translate(
                                "ReportLoader", "Aún no hay registros en este ordenador (%1).")
                                .arg(source.directory);
        } else {
            StoreProblem problem;
            if (loadFrom(*local, filter, rows, result.stations, problem)) {
                result.origin =
                    source.server.isEmpty()
                        ? QCoreApplication::translate("ReportLoader",
                                                      "Registros de este ordenador: %1.")
                              .arg(path)
                        : QCoreApplication::translate("ReportLoader",
                                                      "Se muestran solo los registros de este "
                                                      "ordenador: %1.")
                              .arg(path);
            } else {
                result.problem += (result.problem.isEmpty() ? QString() : QStringLiteral("\n")) +
                                  QStringLiteral("%1: %2").arg(path, problemText(problem));
            }
        }
    }
    result.content =
        summarise(request, std::make_shared<const std::vector<SessionRecord>>(std::move(rows)));
    return result;
}

ReportLoader::ReportLoader(QObject* parent)
    : QObject(parent), m_thread(new QThread(this)), m_worker(new Worker)
{
    m_thread->setObjectName(QStringLiteral("report loader"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

ReportLoader::~ReportLoader()
{
    m_thread->quit();
    m_thread->wait();
}

int ReportLoader::load(const ReportSource& source, const ReportRequest& request)
{
    const int generation = ++m_latest;
    QMetaObject::invokeMethod(
        m_worker,
        [this, worker = m_worker, source, request, generation] {
            if (generation != m_latest)
                return; // a newer request is queued behind this one
            LoadResult result = worker->load(source, request);
            result.generation = generation;
            QMetaObject::invokeMethod(
                this, [this, result] { emit loaded(result); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return generation;
}

void ReportLoader::exportCsv(std::shared_ptr<const std::vector<SessionRecord>> rows,
                             const QString& path)
{
    QMetaObject::invokeMethod(
        m_worker,
        [this, rows, path] {
            QString problem;
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly)) {
                problem = file.errorString();
            } else {
                const QByteArray text = csvText(*rows);
                if (file.write(text) != text.size() || !file.commit())
                    problem = file.errorString();
            }
            const int count = int(rows->size());
            QMetaObject::invokeMethod(
                this, [this, path, count, problem] { emit exported(path, count, problem); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void ReportLoader::testServer(const QString& uri)
{
    QMetaObject::invokeMethod(
        m_worker,
        [this, uri] {
            PostgresRecordStore store(uri);
            StoreProblem problem;
            bool ok = store.open(problem) && store.checkWritable(problem);
            QString text;
            if (ok) {
                QStringList stations;
                store.stations(stations, problem);
                text = QCoreApplication::translate("ReportLoader",
                                                   "Conexión correcta: la tabla sessions "
                                                   "está lista (%1 puestos con registros).")
                           .arg(stations.size());
            } else {
                text = problemText(problem);
            }
            QMetaObject::invokeMethod(
                this, [this, uri, ok, text] { emit tested(uri, ok, text); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
