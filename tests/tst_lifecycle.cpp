#include "app/lifecycle.h"
#include "file_setup.h"
#include "output/file_replace.h"
#include "output/preview.h"
#include "window_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstring>
#include <thread>

using namespace Qt::StringLiterals;

// Run as a child with "--hold-lock PATH": takes the lock, says so, and waits to be killed.
static int holdLock(const char *path)
{
    Lifecycle::InstanceLock lock(QString::fromLocal8Bit(path));
    if (lock.tryAcquire() != Lifecycle::InstanceLock::Claim::Acquired)
        return 1;
    fputs("locked\n", stdout);
    fflush(stdout);
    std::this_thread::sleep_for(std::chrono::minutes(5));
    return 0;
}

static bool makeFolder(const QString &path, mode_t mode, uid_t owner = ::geteuid())
{
    const QByteArray native = QFile::encodeName(path);
    return ::mkdir(native.constData(), mode) == 0 && ::chmod(native.constData(), mode) == 0 &&
           ::chown(native.constData(), owner, gid_t(-1)) == 0;
}

class TestLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void onlyALiveInstanceRefusesTheStart_data();
    void onlyALiveInstanceRefusesTheStart();
    void onlyOrdinaryTemporaryFilesAreRemoved();
    void plantedRuntimeFoldersAreNeverUsed_data();
    void plantedRuntimeFoldersAreNeverUsed();
    void terminationSignalEndsLikeExit_data();
    void terminationSignalEndsLikeExit();
    void cleanup() // of what a test changed in the environment
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
        for (const auto &[name, value] : environment_)
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }

private:
    IsolatedRuntime runtime_;
    const std::pair<const char *, QByteArray> environment_[2] = {
        {"XDG_CACHE_HOME", qgetenv("XDG_CACHE_HOME")}, {"TMPDIR", qgetenv("TMPDIR")}};
};

enum class LockFolder { Writable, Full, ReadOnly };
enum class Holder { None, Killed, Live }; // of a lock already there

void TestLifecycle::onlyALiveInstanceRefusesTheStart_data()
{
    QTest::addColumn<LockFolder>("folder");
    QTest::addColumn<Holder>("holder");
    QTest::newRow("live instance") << LockFolder::Writable << Holder::Live;
    QTest::newRow("killed instance's lock") << LockFolder::Writable << Holder::Killed;
    QTest::newRow("full folder") << LockFolder::Full << Holder::None;
    QTest::newRow("read-only folder") << LockFolder::ReadOnly << Holder::None;
    QTest::newRow("read-only, killed instance's lock") << LockFolder::ReadOnly << Holder::Killed;
    QTest::newRow("read-only, live instance") << LockFolder::ReadOnly << Holder::Live;
}

// Only a live instance's lock keeps the program from starting, and only then is a box shown;
// a lock that cannot be made lets it start silently.
void TestLifecycle::onlyALiveInstanceRefusesTheStart()
{
    QFETCH(LockFolder, folder);
    QFETCH(Holder, holder);
    const bool readOnly = folder == LockFolder::ReadOnly;
    const auto flaggable = readOnly ? folderWithInodeFlags() : nullptr;
    if (readOnly && !flaggable)
        QSKIP("no file system here keeps inode flags (chattr), which even root obeys");
    QTemporaryDir plain;
    const QString base = readOnly ? flaggable->path() : plain.path();
    const QString path = base + u"/instance.lock"_s;
    QProcess child;
    if (holder != Holder::None) {
        child.start(QCoreApplication::applicationFilePath(), {u"--hold-lock"_s, path});
        QVERIFY(child.waitForReadyRead(10000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("locked"));
    }
    if (holder == Holder::Killed) {
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QVERIFY(QFileInfo::exists(path)); // left behind, as after a crash
    }

    FakeDesktop desktop;
    Lifecycle::InstanceLock lock(path);
    bool started = false;
    {
        const auto unflag = qScopeGuard([&] { setInodeFlag(base, FS_IMMUTABLE_FL, false); });
        QVERIFY(!readOnly || setInodeFlag(base, FS_IMMUTABLE_FL, true));
        const auto limit = limitFileSize(folder == LockFolder::Full ? 0 : RLIM_INFINITY);
        started = Lifecycle::claimSingleInstance(lock, desktop);
    }
    child.kill();
    child.waitForFinished(10000);
    const bool live = holder == Holder::Live;
    QCOMPARE(started, !live);
    QCOMPARE(desktop.messages.size(), live ? 1 : 0);
    QVERIFY(!live || desktop.messages.first().title == u"Orvane"_s);
    QVERIFY(!live || desktop.messages.first().text == u"你已经运行这个应用程序了"_s);
}

void TestLifecycle::onlyOrdinaryTemporaryFilesAreRemoved()
{
    const QString path = Lifecycle::temporaryPreviewPath();

    // Nothing there: nothing happens.
    Lifecycle::removeTemporaryPreview();
    QVERIFY(!QFileInfo::exists(path));

    // A folder at that path is not a preview file and stays.
    QVERIFY(QDir().mkpath(path));
    Lifecycle::removeTemporaryPreview();
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(QDir().rmdir(path));
}

void TestLifecycle::plantedRuntimeFoldersAreNeverUsed_data()
{
    QTest::addColumn<QString>("plantedAt"); // a folder holding a temp.jpg linked to a victim
    QTest::addColumn<int>("mode");          // -1: nothing planted
    QTest::addColumn<uid_t>("owner");
    QTest::addColumn<bool>("asLink"); // the folder is a link to one of ours
    QTest::addColumn<bool>("used");
    const uid_t me = ::geteuid(), nobody = 65534;
    QTest::newRow("nothing: made private") << u"run/Orvane"_s << -1 << me << false << true;
    QTest::newRow("ours, temp.jpg a link") << u"run/Orvane"_s << 0700 << me << false << true;
    QTest::newRow("ours, open to all") << u"run/Orvane"_s << 0777 << me << false << false;
    QTest::newRow("another user's") << u"run/Orvane"_s << 0700 << nobody << false << false;
    QTest::newRow("a link") << u"run/Orvane"_s << 0700 << me << true << false;
    // Qt refuses a /tmp/runtime-<user> made by someone else; the fallback was a shared folder.
    QTest::newRow("no runtime folder, a shared one in /tmp")
        << u"tmp/Orvane"_s << 0777 << nobody << false << false;
}

// A folder someone else could write into is never used, and no link is followed: writing the
// preview leaves the file a planted temp.jpg points at alone.
void TestLifecycle::plantedRuntimeFoldersAreNeverUsed()
{
    QFETCH(QString, plantedAt);
    QFETCH(int, mode);
    QFETCH(uid_t, owner);
    QFETCH(bool, asLink);
    QFETCH(bool, used);
    if (owner != ::geteuid() && ::geteuid() != 0)
        QSKIP("only root may make a folder for another user");
    QTemporaryDir root;
    const QString base = root.path() + u'/';
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base + u"run"_s));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(base + u"cache"_s));
    qputenv("TMPDIR", QFile::encodeName(base + u"tmp"_s));
    QVERIFY(makeFolder(base + u"run"_s, 0700) && makeFolder(base + u"tmp"_s, 01777));
    const QString victim = base + u"victim"_s;
    QVERIFY(QFile(victim).open(QIODevice::WriteOnly));
    if (mode >= 0) {
        const QString real = base + (asLink ? u"elsewhere"_s : plantedAt);
        QVERIFY(makeFolder(real, mode_t(mode), owner));
        QVERIFY(QFile::link(victim, real + u"/temp.jpg"_s));
        QVERIFY(!asLink || QFile::link(real, base + plantedAt));
    }
    if (plantedAt.startsWith(u"tmp/"_s)) {
        qunsetenv("XDG_RUNTIME_DIR");
        const QString user = qEnvironmentVariable("USER", u"root"_s);
        QVERIFY(makeFolder(base + u"tmp/runtime-"_s + user, 0700, owner));
    }

    const QString chosen = Lifecycle::runtimeFolder();
    QCOMPARE(chosen, base + (used ? plantedAt : u"cache/Orvane"_s));
    QCOMPARE(status(chosen).st_uid, ::geteuid());
    QCOMPARE(status(chosen).st_mode & 0777, 0700u);
    // As the window keeps the preview's bytes.
    writePrivateFile(Lifecycle::temporaryPreviewPath(),
                     renderPreview(WindowFixture::filled({16, 16}, Qt::red), {16, 16}).jpeg);
    QCOMPARE(QFileInfo(victim).size(), 0);
    QCOMPARE(status(chosen + u"/temp.jpg"_s).st_mode & 0777, 0600u);
}

void TestLifecycle::terminationSignalEndsLikeExit_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

// Killed or logged out, the real program still removes its preview file and its lock.
void TestLifecycle::terminationSignalEndsLikeExit()
{
    QFETCH(int, signal);
    QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(ORVANE_PROGRAM));
    QVERIFY(program.waitForStarted(10000));
    const QString folder = runtime.path() + u"/Orvane"_s;
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder + u"/instance.lock"_s), 20000);
    // Stands for the preview the window writes; the program removes whatever file is there.
    QFile preview(folder + u"/temp.jpg"_s);
    QVERIFY(preview.open(QIODevice::WriteOnly));
    preview.close();

    QCOMPARE(::kill(pid_t(program.processId()), signal), 0);
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
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
