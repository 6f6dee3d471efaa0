#include "report/ChartModule.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLibrary>
#include <QStringList>

namespace {

using Create = QWidget* (*)(QWidget*);
using Show = void (*)(QWidget*, const ReportContent&);

struct Module
{
    Create create = nullptr;
    Show show = nullptr;
    QString error;
};

const Module& module()
{
    static const Module loaded = [] {
        Module m;
        QStringList dirs;
        if (const QString dir = qEnvironmentVariable("LURN_MODULE_DIR"); !dir.isEmpty())
            dirs << dir;
        dirs << QCoreApplication::applicationDirPath() << QStringLiteral(LURN_MODULE_DIR);
        for (const QString& dir : dirs) {
            QLibrary library(dir + QStringLiteral("/lurn-chart"));
            if (!library.load()) {
                m.error = library.errorString();
                continue;
            }
            m.create = reinterpret_cast<Create>(library.resolve("lurnCreateTakingsChart"));
            m.show = reinterpret_cast<Show>(library.resolve("lurnShowTakings"));
            if (m.create && m.show)
                break;
            m.error = library.errorString();
            m.create = nullptr;
            m.show = nullptr;
        }
        return m;
    }();
    return loaded;
}

} // namespace

QWidget* createTakingsChart(QWidget* parent)
{
    const Module& m = module();
    if (m.create)
        return m.create(parent);
    auto* missing = new QLabel(
        QCoreApplication::translate("ChartModule", "El gráfico no está disponible: ") + m.error,
        parent);
    missing->setObjectName(QStringLiteral("chartMissing"));
    missing->setWordWrap(true);
    missing->setAlignment(Qt::AlignCenter);
    return missing;
}

void showTakings(QWidget* chart, const ReportContent& content)
{
    const Module& m = module();
    if (m.show && chart->objectName() != QLatin1String("chartMissing"))
        m.show(chart, content);
}
