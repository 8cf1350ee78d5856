#include "output/jpeg_writer.h"
#include "refusing_folders.h"

#include <QRandomGenerator>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// Noise, so that its JPEG data is far larger than a few kilobytes.
QImage noise(int seed)
{
    QImage image(96, 96, QImage::Format_RGB32);
    QRandomGenerator random(quint32(seed + 1));
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    return image;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

struct stat status(const QString &path)
{
    struct stat result = {};
    ::lstat(QFile::encodeName(path).constData(), &result);
    return result;
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void saveIsWholeOrLeavesNoTrace_data();
    void saveIsWholeOrLeavesNoTrace();
    void saveKeepsOwnerGroupAndMode_data();
    void saveKeepsOwnerGroupAndMode();
};

enum class Fault { None, AppendOnlyFolder, ImmutableFile, DiskFull };

void TestFiles::saveIsWholeOrLeavesNoTrace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Fault>("fault");
    const QString skin = u"肤"_s; // three bytes in UTF-8
    QTest::newRow("name of 249 bytes") << skin.repeated(83) << Fault::None;
    QTest::newRow("name of 255 bytes") << skin.repeated(84) + u".jp"_s << Fault::None;
    QTest::newRow("append-only folder") << u"old.jpg"_s << Fault::AppendOnlyFolder;
    QTest::newRow("immutable file") << u"old.jpg"_s << Fault::ImmutableFile;
    QTest::newRow("disk full") << u"old.jpg"_s << Fault::DiskFull;
}

// Whatever refuses it, a failed save leaves the old file byte for byte and nothing beside it.
void TestFiles::saveIsWholeOrLeavesNoTrace()
{
    QFETCH(QString, name);
    QFETCH(Fault, fault);
    const auto folder = folderWithInodeFlags();
    const bool needsFlags = fault != Fault::None && fault != Fault::DiskFull;
    if (needsFlags && !folder)
        QSKIP("no file system here keeps inode flags (chattr)");
    QTemporaryDir plain;
    const QString base = folder ? folder->path() : plain.path();
    const QString path = base + u'/' + name;
    const QByteArray old = encodeJpeg(noise(1), kJpegQuality);
    QVERIFY(write(path, old));
    const QStringList before = entries(base);

    bool saved = false;
    {
        const int flag = fault == Fault::ImmutableFile ? FS_IMMUTABLE_FL : FS_APPEND_FL;
        const QString flagged = fault == Fault::AppendOnlyFolder ? base : path;
        std::optional<InodeFlag> refusal;
        if (needsFlags)
            QVERIFY(refusal.emplace(flagged, flag).isSet());
        std::optional<FileSizeLimit> full;
        if (fault == Fault::DiskFull)
            full.emplace(old.size() / 2);
        saved = saveJpeg(noise(2), path, kJpegQuality);
    }
    QCOMPARE(saved, fault == Fault::None);
    QCOMPARE(entries(base), before);
    QCOMPARE(contents(path), saved ? encodeJpeg(noise(2), kJpegQuality) : old);
}

void TestFiles::saveKeepsOwnerGroupAndMode_data()
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
void TestFiles::saveKeepsOwnerGroupAndMode()
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
    if (mode >= 0) {
        QVERIFY(write(path, encodeJpeg(noise(1), kJpegQuality)));
        QVERIFY(::chown(QFile::encodeName(path).constData(), owner, group) == 0);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    }
    QVERIFY(!throughLink || QFile::link(path, link));

    QVERIFY(saveJpeg(noise(2), throughLink ? link : path, kJpegQuality));
    QCOMPARE(contents(path), encodeJpeg(noise(2), kJpegQuality));
    QCOMPARE(S_ISLNK(status(link).st_mode), throughLink);
    const struct stat after = status(path);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    QCOMPARE(after.st_uid, owner);
    QCOMPARE(after.st_gid, group);
    QCOMPARE(after.st_mode & 07777, mode >= 0 ? mode_t(mode) : 0666 & ~mask);
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
