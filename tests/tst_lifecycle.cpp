#include "app/lifecycle.h"
#include "app/preview_file.h"
#include "file_setup.h"
#include "output/file_replace.h"
#include "output/preview.h"
#include "window_fixture.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTest>

#include <sys/wait.h>

using namespace Qt::StringLiterals;

static bool makeFolder(const QString &path, mode_t mode, uid_t owner = ::geteuid())
{
    const QByteArray native = QFile::encodeName(path);
    return ::mkdir(native.constData(), mode) == 0 && ::chmod(native.constData(), mode) == 0 &&
           ::chown(native.constData(), owner, gid_t(-1)) == 0;
}

enum class LockFolder { Writable, Full, ReadOnly };
enum class Holder { None, Killed, Live }; // of a lock already there

// The single instance and the runtime folder; the end on a signal is tst_command_line's.
class TestLifecycle : public QObject
{
    Q_OBJECT

    const std::unique_ptr<QTemporaryDir> runtime_ = isolatedRuntime();
    const std::pair<const char *, QByteArray> environment_[2] = {
        {"XDG_CACHE_HOME", qgetenv("XDG_CACHE_HOME")}, {"TMPDIR", qgetenv("TMPDIR")}};

private slots:
    void initTestCase() { QCoreApplication::setApplicationName(u"Orvane"_s); }
    void cleanup() // of what a test changed in the environment
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_->path()));
        for (const auto &[name, value] : environment_)
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }

    void onlyALiveInstanceRefusesTheStart_data()
    {
        QTest::addColumn<LockFolder>("folder");
        QTest::addColumn<Holder>("holder");
        QTest::newRow("live instance") << LockFolder::Writable << Holder::Live;
        QTest::newRow("killed instance's lock") << LockFolder::Writable << Holder::Killed;
        QTest::newRow("full folder") << LockFolder::Full << Holder::None;
        QTest::newRow("read-only folder") << LockFolder::ReadOnly << Holder::None;
        QTest::newRow("read-only, killed instance's lock")
            << LockFolder::ReadOnly << Holder::Killed;
    }

    // Only a live instance's lock keeps the program from starting, and only then is a box
    // shown; a lock that cannot be made lets it start silently.
    void onlyALiveInstanceRefusesTheStart()
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
        // Another process takes the lock and waits; killed, it leaves the lock behind.
        pid_t child = holder == Holder::None ? -1 : ::fork();
        if (child == 0) {
            Lifecycle::InstanceLock held(path);
            _exit(held.tryAcquire() == Lifecycle::InstanceLock::Claim::Acquired ? ::pause() : 1);
        }
        const auto end = [&] {
            const bool ended =
                child > 0 && ::kill(child, SIGKILL) == 0 && ::waitpid(child, nullptr, 0) == child;
            child = -1;
            return ended;
        };
        const auto reap = qScopeGuard(end);
        QTRY_VERIFY(holder == Holder::None || QFileInfo(path).size() > 0);
        QVERIFY(holder != Holder::Killed || (end() && QFileInfo::exists(path)));

        FakeDesktop desktop;
        Lifecycle::InstanceLock lock(path);
        bool started = false;
        {
            const auto unflag = qScopeGuard([&] { setInodeFlag(base, FS_IMMUTABLE_FL, false); });
            QVERIFY(!readOnly || setInodeFlag(base, FS_IMMUTABLE_FL, true));
            const auto limit = capped(RLIMIT_FSIZE, folder == LockFolder::Full ? 0 : RLIM_INFINITY);
            started = Lifecycle::claimSingleInstance(lock, desktop);
        }
        const bool live = holder == Holder::Live;
        QCOMPARE(started, !live);
        QCOMPARE(desktop.texts(),
                 live ? QStringList(u"Orvane|你已经运行这个应用程序了"_s) : QStringList());
    }

    // Previews finish in any order: only the newest is written, and none once retired.
    void onlyTheNewestPreviewIsWritten()
    {
        const QString path = Lifecycle::temporaryPreviewPath();
        const quint64 older = PreviewFile::newTicket();
        const quint64 newer = PreviewFile::newTicket();
        PreviewFile::write(newer, "newer");
        PreviewFile::write(older, "older");
        QCOMPARE(readFile(path), "newer");
        PreviewFile::retire();
        PreviewFile::write(newer, "after");
        QVERIFY(!QFileInfo::exists(path));
    }

    void plantedRuntimeFoldersAreNeverUsed_data()
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
        // Qt refuses a /tmp/runtime-<user> made by someone else; the fallback was a shared one.
        QTest::newRow("no runtime folder, a shared one in /tmp")
            << u"tmp/Orvane"_s << 0777 << nobody << false << false;
    }

    // A folder someone else could write into is never used, and no link is followed: writing
    // the preview leaves the file a planted temp.jpg points at alone.
    void plantedRuntimeFoldersAreNeverUsed()
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
        const QString victim = writeFile(base + u"victim"_s, {});
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
        QCOMPARE(status(chosen).st_mode & 0777, 0700u);
        writePrivateFile(Lifecycle::temporaryPreviewPath(),
                         renderPreview(filled({16, 16}, Qt::red), {16, 16}).jpeg);
        QCOMPARE(QFileInfo(victim).size(), 0);
        QCOMPARE(status(chosen + u"/temp.jpg"_s).st_mode & 0777, 0600u);
    }
};

QTEST_GUILESS_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
