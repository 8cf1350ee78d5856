#include "file_setup.h"
#include "output/jpeg_writer.h"
#include "photo/jpeg_codec.h"

#include <QTest>

using namespace Qt::StringLiterals;

static QImage filled(QColor colour)
{
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

static QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

enum class Fault {
    None,
    AppendOnlyFolder,
    ImmutableFile,
    DiskFull,
    ReadOnlyFile,
    MissingFolder,
    PathIsFolder
};

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void saveIsWholeOrLeavesNoTrace_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Fault>("fault");
        const QString skin = u"肤"_s; // three bytes in UTF-8
        QTest::newRow("name of 249 bytes") << skin.repeated(83) << Fault::None;
        QTest::newRow("name of 255 bytes") << skin.repeated(84) + u".jp"_s << Fault::None;
        QTest::newRow("append-only folder") << u"old.jpg"_s << Fault::AppendOnlyFolder;
        QTest::newRow("immutable file") << u"old.jpg"_s << Fault::ImmutableFile;
        QTest::newRow("disk full") << u"old.jpg"_s << Fault::DiskFull;
        QTest::newRow("read-only file") << u"old.jpg"_s << Fault::ReadOnlyFile;
        QTest::newRow("missing folder") << u"old.jpg"_s << Fault::MissingFolder;
        QTest::newRow("path is a folder") << u"old.jpg"_s << Fault::PathIsFolder;
    }

    // Whatever refuses it, a failed save leaves the old file byte for byte and nothing beside it.
    void saveIsWholeOrLeavesNoTrace()
    {
        QFETCH(QString, name);
        QFETCH(Fault, fault);
        const auto folder = folderWithInodeFlags();
        const bool flagged = fault == Fault::AppendOnlyFolder || fault == Fault::ImmutableFile;
        if (flagged && !folder)
            QSKIP("no file system here keeps inode flags (chattr)");
        QTemporaryDir plain;
        const QString base = folder ? folder->path() : plain.path();
        const QString path = base + u'/' + name;
        const QByteArray old = encodeJpeg(filled(Qt::red), kJpegQuality).data;
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
        file.close();
        // Root passes every access check, so the refusal must not rest on one.
        QVERIFY(fault != Fault::ReadOnlyFile || QFile::setPermissions(path, QFile::ReadOwner));
        QVERIFY(fault != Fault::PathIsFolder || QDir(base).mkdir(u"folder.jpg"_s));
        const QStringList before = entries(base);
        const QString target = fault == Fault::MissingFolder  ? base + u"/missing/old.jpg"_s
                               : fault == Fault::PathIsFolder ? base + u"/folder.jpg"_s
                                                              : path;

        const QString refuser = fault == Fault::AppendOnlyFolder ? base : path;
        const int flag = fault == Fault::ImmutableFile ? FS_IMMUTABLE_FL : FS_APPEND_FL;
        bool saved = false;
        {
            const auto unflag = qScopeGuard([&] { setInodeFlag(refuser, flag, false); });
            QVERIFY(!flagged || setInodeFlag(refuser, flag, true));
            const auto limit =
                limitFileSize(fault == Fault::DiskFull ? old.size() / 2 : RLIM_INFINITY);
            saved = saveJpeg(filled(Qt::blue), target, kJpegQuality);
        }
        QCOMPARE(saved, fault == Fault::None);
        QCOMPARE(entries(base), before);
        QCOMPARE(contents(path), saved ? encodeJpeg(filled(Qt::blue), kJpegQuality).data : old);
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
        const QString path = folder.filePath(u"photo.jpg"_s);
        const QString link = folder.filePath(u"link.jpg"_s);
        const QByteArray native = QFile::encodeName(path);
        if (mode >= 0) {
            QVERIFY(saveJpeg(filled(Qt::red), path, kJpegQuality));
            QVERIFY(::chown(native.constData(), owner, group) == 0 &&
                    ::chmod(native.constData(), mode_t(mode)) == 0);
        }
        QVERIFY(!throughLink || QFile::link(path, link));

        QVERIFY(saveJpeg(filled(Qt::blue), throughLink ? link : path, kJpegQuality));
        QCOMPARE(contents(path), encodeJpeg(filled(Qt::blue), kJpegQuality).data);
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
