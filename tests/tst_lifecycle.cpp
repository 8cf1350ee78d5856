#include "app/lifecycle.h"
#include "output/preview.h"
#include "refusing_folders.h"
#include "window_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <vector>

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

// Sets environment variables for its lifetime.
class Environment
{
public:
    Environment() = default;
    Environment(const Environment &) = delete;
    Environment &operator=(const Environment &) = delete;
    ~Environment()
    {
        for (const auto &[name, value] : saved_) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }
    void set(const char *name, const QString &value)
    {
        save(name);
        qputenv(name, QFile::encodeName(value));
    }
    void unset(const char *name)
    {
        save(name);
        qunsetenv(name);
    }

private:
    void save(const char *name)
    {
        saved_.emplace_back(name, qEnvironmentVariableIsSet(name)
                                      ? std::optional<QByteArray>(qgetenv(name))
                                      : std::nullopt);
    }
    std::vector<std::pair<const char *, std::optional<QByteArray>>> saved_;
};

static bool makeFolder(const QString &path, mode_t mode, uid_t owner = ::geteuid())
{
    const QByteArray native = QFile::encodeName(path);
    return ::mkdir(native.constData(), mode) == 0 && ::chmod(native.constData(), mode) == 0 &&
           ::chown(native.constData(), owner, gid_t(-1)) == 0;
}

static struct stat status(const QString &path)
{
    struct stat result = {};
    ::lstat(QFile::encodeName(path).constData(), &result);
    return result;
}

class TestLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void secondInstanceRefused();
    void lockOfKilledInstanceIsTakenOver();
    void lockFailuresOtherThanALiveInstanceStartSilently_data();
    void lockFailuresOtherThanALiveInstanceStartSilently();
    void temporaryFileIsPrivateAndOrdinaryFilesOnlyAreRemoved();
    void plantedRuntimeFoldersAreNeverUsed_data();
    void plantedRuntimeFoldersAreNeverUsed();
    void terminationSignalEndsLikeExit_data();
    void terminationSignalEndsLikeExit();

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
    QCOMPARE(whileAlive.tryAcquire(), Lifecycle::InstanceLock::Claim::HeldByLiveInstance);

    child.kill();
    QVERIFY(child.waitForFinished(10000));
    QVERIFY(QFileInfo::exists(path)); // left behind, as after a crash

    FakeDesktop desktop;
    Lifecycle::InstanceLock next(path);
    QVERIFY(Lifecycle::claimSingleInstance(next, desktop));
    QVERIFY(desktop.messages.isEmpty());
}

enum class LockFailure { FullFolder, ReadOnlyFolder };

void TestLifecycle::lockFailuresOtherThanALiveInstanceStartSilently_data()
{
    QTest::addColumn<LockFailure>("failure");
    QTest::addColumn<QString>("holder"); // of the lock already there: none, killed, live
    QTest::newRow("full folder") << LockFailure::FullFolder << u"none"_s;
    QTest::newRow("read-only folder") << LockFailure::ReadOnlyFolder << u"none"_s;
    QTest::newRow("read-only, killed instance's lock")
        << LockFailure::ReadOnlyFolder << u"killed"_s;
    QTest::newRow("read-only, live instance") << LockFailure::ReadOnlyFolder << u"live"_s;
}

// Only a live instance's lock keeps the program from starting, and only then is a box shown.
void TestLifecycle::lockFailuresOtherThanALiveInstanceStartSilently()
{
    QFETCH(LockFailure, failure);
    QFETCH(QString, holder);
    const auto folder = folderWithInodeFlags();
    if (failure == LockFailure::ReadOnlyFolder && !folder)
        QSKIP("no file system here keeps inode flags (chattr), which even root obeys");
    QTemporaryDir plain;
    const QString path = (folder ? folder->path() : plain.path()) + u"/instance.lock"_s;
    QProcess child;
    if (holder != u"none"_s) {
        child.start(QCoreApplication::applicationFilePath(), {u"--hold-lock"_s, path});
        QVERIFY(child.waitForReadyRead(10000));
        if (holder == u"killed"_s) {
            child.kill();
            QVERIFY(child.waitForFinished(10000));
        }
    }

    FakeDesktop desktop;
    Lifecycle::InstanceLock lock(path);
    bool started = false;
    {
        std::optional<InodeFlag> readOnly;
        if (failure == LockFailure::ReadOnlyFolder)
            QVERIFY(readOnly.emplace(QFileInfo(path).absolutePath(), FS_IMMUTABLE_FL).isSet());
        std::optional<FileSizeLimit> full;
        if (failure == LockFailure::FullFolder)
            full.emplace(0);
        started = Lifecycle::claimSingleInstance(lock, desktop);
    }
    const bool live = holder == u"live"_s;
    QCOMPARE(started, !live);
    QCOMPARE(desktop.messages.size(), live ? 1 : 0);
    child.kill();
    child.waitForFinished(10000);
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

void TestLifecycle::plantedRuntimeFoldersAreNeverUsed_data()
{
    QTest::addColumn<QString>("planted"); // what stands at <runtime>/Orvane
    QTest::addColumn<bool>("used");
    QTest::newRow("nothing: made private") << u"nothing"_s << true;
    QTest::newRow("ours, with a link for temp.jpg") << u"ours"_s << true;
    QTest::newRow("ours, but open to all") << u"open"_s << false;
    QTest::newRow("another user's") << u"foreign"_s << false;
    QTest::newRow("a link to a folder of ours") << u"link"_s << false;
    QTest::newRow("no runtime folder, a shared one in /tmp") << u"shared"_s << false;
}

// A folder someone else could write into is never used, and no link is followed: writing the
// preview leaves the file a planted temp.jpg points at alone.
void TestLifecycle::plantedRuntimeFoldersAreNeverUsed()
{
    QFETCH(QString, planted);
    QFETCH(bool, used);
    const bool needsRoot = planted == u"foreign"_s || planted == u"shared"_s;
    if (needsRoot && ::geteuid() != 0)
        QSKIP("only root may make a folder for another user");
    constexpr uid_t kNobody = 65534;
    QTemporaryDir root;
    const QString base = root.path();
    Environment environment;
    environment.set("XDG_RUNTIME_DIR", base + u"/run"_s);
    environment.set("XDG_CACHE_HOME", base + u"/cache"_s);
    environment.set("TMPDIR", base + u"/tmp"_s);
    QVERIFY(makeFolder(base + u"/run"_s, 0700) && makeFolder(base + u"/tmp"_s, 01777));
    const QString victim = base + u"/victim"_s;
    QVERIFY(QFile(victim).open(QIODevice::WriteOnly));
    const auto plantLinkIn = [&](const QString &folder) {
        return QFile::link(victim, folder + u"/temp.jpg"_s);
    };
    const QString folder = base + u"/run/Orvane"_s;
    if (planted == u"ours"_s)
        QVERIFY(makeFolder(folder, 0700) && plantLinkIn(folder));
    else if (planted == u"open"_s)
        QVERIFY(makeFolder(folder, 0777) && plantLinkIn(folder));
    else if (planted == u"foreign"_s)
        QVERIFY(makeFolder(folder, 0700, kNobody) && plantLinkIn(folder));
    else if (planted == u"link"_s)
        QVERIFY(makeFolder(base + u"/elsewhere"_s, 0700) && plantLinkIn(base + u"/elsewhere"_s) &&
                QFile::link(base + u"/elsewhere"_s, folder));
    if (planted == u"shared"_s) {
        environment.unset("XDG_RUNTIME_DIR");
        const QString user = QString::fromLocal8Bit(qgetenv("USER"));
        QVERIFY(makeFolder(base + u"/tmp/runtime-"_s + (user.isEmpty() ? u"root"_s : user), 0700,
                           kNobody));
        QVERIFY(makeFolder(base + u"/tmp/Orvane"_s, 0777, kNobody) &&
                plantLinkIn(base + u"/tmp/Orvane"_s));
    }

    const QString chosen = Lifecycle::runtimeFolder();
    QCOMPARE(chosen, used ? folder : base + u"/cache/Orvane"_s);
    const struct stat folderStatus = status(chosen);
    QVERIFY(S_ISDIR(folderStatus.st_mode));
    QCOMPARE(folderStatus.st_uid, ::geteuid());
    QCOMPARE(folderStatus.st_mode & 0777, 0700u);

    renderPreview(WindowFixture::filled({16, 16}, Qt::red), Lifecycle::temporaryPreviewPath(),
                  {16, 16});
    QCOMPARE(QFileInfo(victim).size(), 0);
    const struct stat preview = status(chosen + u"/temp.jpg"_s);
    QVERIFY(S_ISREG(preview.st_mode));
    QCOMPARE(preview.st_mode & 0777, 0600u);
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
