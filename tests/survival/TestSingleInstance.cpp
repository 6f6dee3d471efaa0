// Where one Lurn per desktop keeps its lock when the session gives no
// runtime directory: a directory in the temporary directory that is this
// user's alone, never one that someone else made or can enter.
#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using platform::SingleInstance;

namespace {

enum class Found { Nothing, Private, OpenToOthers, Link, File, SomeoneElses };

} // namespace

Q_DECLARE_METATYPE(Found)

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    // A temporary directory of its own for each case.
    void init()
    {
        qunsetenv("TMPDIR");
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(m_tmp->path()));
    }
    void cleanup()
    {
        qunsetenv("TMPDIR");
        m_tmp.reset();
    }

    void fallbackDirectory_data()
    {
        QTest::addColumn<Found>("found");
        QTest::addColumn<bool>("used");
        QTest::newRow("nothing there: made private") << Found::Nothing << true;
        QTest::newRow("this user's, private") << Found::Private << true;
        QTest::newRow("this user's, open to others") << Found::OpenToOthers << false;
        QTest::newRow("a link to a private directory") << Found::Link << false;
        QTest::newRow("a file") << Found::File << false;
        QTest::newRow("another user's") << Found::SomeoneElses << false;
    }

    void fallbackDirectory()
    {
        QFETCH(Found, found);
        QFETCH(bool, used);
        const QString dir = m_tmp->path() + QStringLiteral("/lurn-%1").arg(::getuid());
        const QByteArray path = QFile::encodeName(dir);
        switch (found) {
        case Found::Nothing:
            break;
        case Found::Private:
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
            break;
        case Found::OpenToOthers:
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
            QCOMPARE(::chmod(path.constData(), 0777), 0);
            break;
        case Found::Link:
            QVERIFY(QDir().mkpath(m_tmp->path() + "/elsewhere"));
            QCOMPARE(::chmod(QFile::encodeName(m_tmp->path() + "/elsewhere").constData(), 0700), 0);
            QCOMPARE(::symlink("elsewhere", path.constData()), 0);
            break;
        case Found::File:
            QVERIFY(QFile(dir).open(QIODevice::WriteOnly));
            break;
        case Found::SomeoneElses:
            if (::getuid() != 0)
                QSKIP("making another user's directory needs root");
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
            break;
        }

        const QString chosen = SingleInstance::defaultRuntimeDir();
        QCOMPARE(chosen, used ? dir : QString());
        SingleInstance instance(chosen, QStringLiteral(":7"));
        QString why;
        const SingleInstance::Claim claim = instance.claim(why);
        if (used) {
            QCOMPARE(claim, SingleInstance::Claim::First);
            struct stat st{};
            QCOMPARE(::lstat(path.constData(), &st), 0);
            QCOMPARE(st.st_mode & 0777, mode_t(0700));
            QVERIFY(QFile::exists(dir + "/lurn-7.lock"));
        } else {
            // Lurn starts all the same, without the lock, and says why.
            QCOMPARE(claim, SingleInstance::Claim::Unknown);
            QVERIFY2(why.contains(dir), qPrintable(why));
            const QStringList left = QDir(m_tmp->path()).entryList({"*.lock", "*.socket"});
            QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));
            QVERIFY(!QFile::exists(dir + "/lurn-7.lock") || found == Found::SomeoneElses);
        }
    }

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "TestSingleInstance.moc"
