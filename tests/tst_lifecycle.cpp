#include "app/lifecycle.h"
#include "window_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <cstring>
#include <thread>

using namespace Qt::StringLiterals;

// Run as a child with "--hold-lock PATH": takes the lock, says so, and waits to be killed.
static int holdLock(const char *path)
{
    Lifecycle::InstanceLock lock(QString::fromLocal8Bit(path));
    if (!lock.tryAcquire())
        return 1;
    fputs("locked\n", stdout);
    fflush(stdout);
    std::this_thread::sleep_for(std::chrono::minutes(5));
    return 0;
}

class TestLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void secondInstanceRefused();
    void lockOfKilledInstanceIsTakenOver();
    void temporaryFileIsPrivateAndOrdinaryFilesOnlyAreRemoved();

private:
    IsolatedRuntime runtime_;
};

void TestLifecycle::secondInstanceRefused()
{
    FakeDesktop desktop;
    Lifecycle::InstanceLock first;
    QVERIFY(Lifecycle::claimSingleInstance(first, desktop));
    QVERIFY(desktop.messages.isEmpty());

    Lifecycle::InstanceLock second;
    QVERIFY(!Lifecycle::claimSingleInstance(second, desktop));
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages.first().title, u"Orvane"_s);
    QCOMPARE(desktop.messages.first().text, u"你已经运行这个应用程序了"_s);
}

void TestLifecycle::lockOfKilledInstanceIsTakenOver()
{
    const QString path = runtime_.path() + u"/killed.lock"_s;
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {u"--hold-lock"_s, path});
    QVERIFY(child.waitForReadyRead(10000));
    QCOMPARE(child.readLine().trimmed(), QByteArray("locked"));

    Lifecycle::InstanceLock whileAlive(path);
    QVERIFY(!whileAlive.tryAcquire());

    child.kill();
    QVERIFY(child.waitForFinished(10000));
    QVERIFY(QFileInfo::exists(path)); // left behind, as after a crash

    FakeDesktop desktop;
    Lifecycle::InstanceLock next(path);
    QVERIFY(Lifecycle::claimSingleInstance(next, desktop));
    QVERIFY(desktop.messages.isEmpty());
}

void TestLifecycle::temporaryFileIsPrivateAndOrdinaryFilesOnlyAreRemoved()
{
    const QString path = Lifecycle::temporaryPreviewPath();
    QCOMPARE(QFileInfo(path).absolutePath(), runtime_.path() + u"/Orvane"_s);
    QCOMPARE(QFileInfo(QFileInfo(path).absolutePath()).permissions() & 0x0077,
             QFileDevice::Permissions());

    // Nothing there: nothing happens.
    Lifecycle::removeTemporaryPreview();
    QVERIFY(!QFileInfo::exists(path));

    // A folder at that path is not a preview file and stays.
    QVERIFY(QDir().mkpath(path));
    Lifecycle::removeTemporaryPreview();
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(QDir().rmdir(path));
}

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--hold-lock") == 0)
        return holdLock(argv[2]);
    QCoreApplication app(argc, argv);
    app.setApplicationName(u"Orvane"_s);
    TestLifecycle test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lifecycle.moc"
