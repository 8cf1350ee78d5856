#include "file_setup.h"
#include "output/jpeg_writer.h"
#include "output/new_file.h"
#include "photo/jpeg_codec.h"
#include "test_support.h"

#include <QTest>

using namespace Qt::StringLiterals;

static QByteArray jpegOf(QColor colour)
{
    return encodeJpeg(filled({64, 64}, colour), kJpegQuality).data;
}

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void saveIsWholeOrLeavesNoTrace_data()
    {
        QTest::addColumn<QByteArray>("fault");
        for (const char *fault : {"name of 255 bytes", "append-only folder", "immutable file",
                                  "disk full", "read-only file", "read-only folder",
                                  "missing folder", "no file can be made", "dangling link"})
            QTest::newRow(fault) << QByteArray(fault);
        // A path that is a folder is tst_photos' failed save.
    }

    // Whatever refuses it, a failed save leaves the old file byte for byte and nothing beside it.
    void saveIsWholeOrLeavesNoTrace()
    {
        QFETCH(QByteArray, fault);
        const auto folder = folderWithInodeFlags();
        const bool flagged = fault == "append-only folder" || fault == "immutable file";
        if (flagged && !folder)
            QSKIP("no file system here keeps inode flags (chattr)");
        QTemporaryDir plain;
        const QString base = folder ? folder->path() : plain.path();
        // Three bytes in UTF-8 each: as long a name as a file system allows.
        const QString name =
            fault == "name of 255 bytes" ? u"肤"_s.repeated(84) + u".jp"_s : u"old.jpg"_s;
        const QString path = writeFile(base + u'/' + name, jpegOf(Qt::red));
        // Root passes every access check, so the refusal must not rest on one.
        QVERIFY(fault != "read-only file" || QFile::setPermissions(path, QFile::ReadOwner));
        const QFile::Permissions open = QFile::permissions(base);
        const auto reopen = qScopeGuard([&] { QFile::setPermissions(base, open); });
        QVERIFY(fault != "read-only folder" ||
                QFile::setPermissions(base, QFile::ReadOwner | QFile::ExeOwner));
        const QString target = fault == "missing folder"  ? base + u"/missing/old.jpg"_s
                               : fault == "dangling link" ? base + u"/link.jpg"_s
                                                          : path;
        QVERIFY(fault != "dangling link" || QFile::link(base + u"/gone.jpg"_s, target));
        const QStringList before = entries(base);

        const QString refuser = fault == "append-only folder" ? base : path;
        const int flag = fault == "immutable file" ? FS_IMMUTABLE_FL : FS_APPEND_FL;
        bool saved = false;
        {
            const auto unflag = qScopeGuard([&] { setInodeFlag(refuser, flag, false); });
            QVERIFY(!flagged || setInodeFlag(refuser, flag, true));
            const auto limit = capped(RLIMIT_FSIZE, fault == "disk full" ? 100 : RLIM_INFINITY);
            // Room for the folder and the old file, none for another (as when out of inodes).
            const int lowestFree = ::dup(0);
            ::close(lowestFree);
            const auto descriptors = capped(
                RLIMIT_NOFILE, fault == "no file can be made" ? lowestFree + 2 : RLIM_INFINITY);
            saved = saveJpeg(filled({64, 64}, Qt::blue), target, kJpegQuality);
        }
        QCOMPARE(saved, fault == "name of 255 bytes");
        QCOMPARE(entries(base), before);
        QCOMPARE(readFile(path), jpegOf(saved ? Qt::blue : Qt::red));
    }

    void newFileTakesTheFirstFreeName_data()
    {
        QTest::addColumn<bool>("hidden");
        QTest::newRow("unnamed file") << false;
        QTest::newRow("through a hidden name") << true;
    }

    // Taken names, a link planted where nothing is yet among them, are passed over; only the
    // photo is left, with the mode of any new file; a failed write leaves nothing. A folder nobody
    // may write refuses root too.
    void newFileTakesTheFirstFreeName()
    {
        QFETCH(bool, hidden);
        const auto write = hidden ? writeNewFileThroughHiddenName : writeNewFile;
        QTemporaryDir dir;
        const QString folder = dir.path(), victim = dir.filePath(u"victim"_s);
        QVERIFY(QFile::link(victim, dir.filePath(u"p-1.jpg"_s)));
        QVERIFY(!writeFile(dir.filePath(u"p.jpg"_s), "old").isEmpty());
        const NewFile file = write(folder, u"p"_s, u".jpg"_s, "new", 0);
        QCOMPARE(file.path, dir.filePath(u"p-2.jpg"_s));
        QCOMPARE(readFile(file.path), "new");
        QCOMPARE(entries(folder), QStringList({u"p-1.jpg"_s, u"p-2.jpg"_s, u"p.jpg"_s}));
        QCOMPARE(readFile(dir.filePath(u"p.jpg"_s)), "old");
        const mode_t umask = ::umask(0);
        ::umask(umask);
        QCOMPARE(status(file.path).st_mode & 07777, 0666 & ~umask);
        QCOMPARE(write(folder, u"p"_s, u".jpg"_s, "new", 5).path, dir.filePath(u"p-5.jpg"_s));
        {
            const auto limit = capped(RLIMIT_FSIZE, 100); // as on a full disk
            QCOMPARE(write(folder, u"q"_s, u".jpg"_s, QByteArray(200, 'q'), 0).error, EFBIG);
        }
        QCOMPARE(entries(folder).size(), 4);
        QVERIFY(QDir(folder).mkdir(u"ro"_s, QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(write(dir.filePath(u"ro"_s), u"q"_s, u".jpg"_s, "new", 0).error, EACCES);
    }

    void saveKeepsOwnerGroupAndMode_data()
    {
        QTest::addColumn<uid_t>("owner");
        QTest::addColumn<gid_t>("group");
        QTest::addColumn<int>("mode"); // -1: no file there before
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("another user's") << uid_t(65534) << gid_t(65534) << 0640 << false;
        QTest::newRow("another group, through a link") << uid_t(0) << gid_t(65534) << 0604 << true;
        QTest::newRow("new file") << uid_t(0) << gid_t(0) << -1 << false;
    }

    // Root saving over a user's photo must not give it to root, nor change who may read it.
    void saveKeepsOwnerGroupAndMode()
    {
        QFETCH(uid_t, owner);
        QFETCH(gid_t, group);
        QFETCH(int, mode);
        QFETCH(bool, throughLink);
        if (::geteuid() != 0)
            QSKIP("only root may give a file to another user");
        QTemporaryDir folder;
        const QString path = folder.filePath(u"photo.jpg"_s), link = folder.filePath(u"link.jpg"_s);
        const QByteArray native = QFile::encodeName(path);
        QVERIFY(mode < 0 || (!writeFile(path, jpegOf(Qt::red)).isEmpty() &&
                             ::chown(native.constData(), owner, group) == 0 &&
                             ::chmod(native.constData(), mode_t(mode)) == 0));
        QVERIFY(!throughLink || QFile::link(path, link));

        QVERIFY(saveJpeg(filled({64, 64}, Qt::blue), throughLink ? link : path, kJpegQuality));
        QCOMPARE(readFile(path), jpegOf(Qt::blue));
        QCOMPARE(S_ISLNK(status(link).st_mode), throughLink);
        const mode_t umask = ::umask(0);
        ::umask(umask);
        QCOMPARE(status(path).st_uid, owner);
        QCOMPARE(status(path).st_gid, group);
        QCOMPARE(status(path).st_mode & 07777, mode >= 0 ? mode_t(mode) : 0666 & ~umask);
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
