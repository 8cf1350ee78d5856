#include "app/instance_channel.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"
#include "test_support.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

// Starts the program without a display; with a runtime folder, offscreen.
static void start(QProcess &program, const QStringList &arguments, const QString &runtime = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        env.remove(name);
    if (!runtime.isEmpty()) {
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    }
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ORVANE_PROGRAM), arguments);
}

// The program opened with a file, a file handed over to the running instance, the end on a
// signal, and the modes that need no display.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void programOpensItsFileAndAnotherStartsFile_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    // The real program, offscreen: its preview file shows which photo it holds as its target.
    // A second start hands over its file, named from where it started, through a socket only
    // its user may open, over one a killed instance left. Killed or logged out, the first
    // still removes its preview file, its lock and its socket.
    void programOpensItsFileAndAnotherStartsFile()
    {
        QTemporaryDir runtime, photos;
        const QString socket = runtime.filePath(u"Orvane/instance.socket"_s);
        QVERIFY(QDir().mkdir(runtime.filePath(u"Orvane"_s),
                             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(!writeFile(socket, {}).isEmpty());
        const auto previewShown = [&] { return readFile(runtime.filePath(u"Orvane/temp.jpg"_s)); };
        QString files[2];
        QByteArray previews[2];
        for (int i = 0; i < 2; ++i) {
            files[i] = photos.filePath(u"photo %1.bmp"_s.arg(i));
            QVERIFY(filled({40 + i, 30}, i ? Qt::darkCyan : Qt::darkRed).save(files[i]));
            previews[i] = encodeJpeg(loadPhoto(files[i]).image, 80).data;
        }

        QProcess first, second;
        start(first, {files[0]}, runtime.path());
        QTRY_COMPARE_WITH_TIMEOUT(previewShown(), previews[0], 20000);
        QVERIFY(QFileInfo(socket).exists() && !QFileInfo(socket).isFile()); // a socket now
        QCOMPARE(QFile::permissions(socket) & 0077, QFileDevice::Permissions());
        second.setWorkingDirectory(photos.path());
        start(second, {u"photo 1.bmp"_s}, runtime.path()); // ends without a word or a window
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardError(), QByteArray());
        QTRY_COMPARE_WITH_TIMEOUT(previewShown(), previews[1], 20000);
        QCOMPARE(first.state(), QProcess::Running);
        start(second, {files[0], files[1]}, runtime.path());
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 2);

        QFETCH(int, signal);
        QCOMPARE(::kill(pid_t(first.processId()), signal), 0);
        QVERIFY(first.waitForFinished(20000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(entries(runtime.filePath(u"Orvane"_s)), QStringList());
        QVERIFY(!sendToRunningInstance(socket, files[0]));
    }

    // Without a display: --apply's status tells whether every photo was saved, and a line
    // tells each photo's fate in the order given; every wrong command line is status 2.
    void runsWithoutADisplay_data()
    {
        // In a folder of a.bmp, b.bmp, a large a.png, bad.jpg, xmp.jpg (its XMP not XML), out
        // and ro (0555); $OUT is out's absolute path.
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output"); // part of the standard output, or none at all
        QTest::addColumn<QByteArray>("errors"); // part of the standard error
        QTest::addColumn<int>("saved");         // files in out
        QTest::newRow("version") << u"--version"_s << 0 << "Orvane 2012.00\n"_ba
                                 << ""_ba << 0;
        QTest::newRow("help") << u"--help"_s << 0 << "[FILE]"_ba
                              << ""_ba << 0;
        QTest::newRow("help with --apply") << u"--apply --help"_s << 0 << "--apply"_ba
                                           << ""_ba << 0;
        const QString apply = u"--apply --reference 220,180,160 --target 200,150,170 "_s;
        QTest::newRow("all saved") << apply + u"--output ./out/ a.bmp b.bmp"_s << 0
                                   << "a.bmp -> $OUT/a.jpg\nb.bmp -> $OUT/b.jpg\n"_ba
                                   << "Saved 2 of 2 photos in $OUT.\n"_ba << 2;
        // The large photo is done last, yet named first.
        QTest::newRow("names in the order given")
            << apply + u"--output out a.png a.bmp"_s << 0
            << "a.png -> $OUT/a.jpg\na.bmp -> $OUT/a-1.jpg\n"_ba
            << ""_ba << 2;
        QTest::newRow("one damaged")
            << apply + u"--output out bad.jpg a.bmp"_s << 1 << "a.bmp -> $OUT/a.jpg\n"_ba
            << "bad.jpg: cannot read this photo\n"_ba << 1;
        QTest::newRow("metadata left out") << apply + u"--output out xmp.jpg"_s << 0
                                           << "xmp.jpg -> $OUT/xmp.jpg (XMP not kept)\n"_ba
                                           << "Saved 1 of 1"_ba << 1;
        QTest::newRow("folder nobody may write") << apply + u"--output ro a.bmp"_s << 1 << ""_ba
                                                 << "a.bmp: cannot write it: "_ba << 0;
        QTest::newRow("gain over the limit")
            << u"--apply --reference 202,1,1 --target 1,1,1 --output out a.bmp"_s << 2 << ""_ba
            << "too large"_ba << 0;
        // One rule for both colours.
        const std::pair<QString, QByteArray> colours[] = {
            {u"9,9x,9 --target 9,9,9"_s, "--reference"_ba},
            {u"-1,-1,-1 --target 9,9,9"_s, "--reference"_ba},
            {u"256,1,1 --target 9,9,9"_s, "--reference"_ba},
            {u"9,9,9 --target 9,9,9,9"_s, "--target"_ba},
            {u"9,9,9 --target 9,9,-9"_s, "--target"_ba}};
        for (const auto &[given, refused] : colours) {
            QTest::addRow("%s", qPrintable(given))
                << u"--apply --reference %1 --output out a.bmp"_s.arg(given) << 2 << ""_ba
                << refused + " takes three whole numbers from 0 to 255" << 0;
        }
        QTest::newRow("output a file") << apply + u"--output a.bmp a.bmp"_s << 2 << ""_ba
                                       << "--output a.bmp is not a folder"_ba << 0;
        QTest::newRow("no output folder") << apply + u"a.bmp"_s << 2 << ""_ba
                                          << "needs --output"_ba << 0;
        QTest::newRow("no photo") << apply + u"--output out"_s << 2 << ""_ba
                                  << "FILE"_ba << 0;
        QTest::newRow("target without --apply") << u"--target 200,150,170 a.bmp"_s << 2 << ""_ba
                                                << "--target goes with --apply"_ba << 0;
        QTest::newRow("output without --apply") << u"--output=out a.bmp"_s << 2 << ""_ba
                                                << "--output goes with --apply"_ba << 0;
    }

    void runsWithoutADisplay()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, errors);
        QTemporaryDir dir;
        const QColor skin(200, 150, 170);
        QVERIFY(filled({8, 6}, skin).save(dir.filePath(u"a.bmp"_s)) &&
                QFile::copy(dir.filePath(u"a.bmp"_s), dir.filePath(u"b.bmp"_s)));
        QVERIFY(gradient({1600, 1200}).save(dir.filePath(u"a.png"_s)));
        QVERIFY(!writeFile(dir.filePath(u"bad.jpg"_s), "\xff\xd8\xff\xe0").isEmpty());
        const QByteArray xmp = withXmpSegment(encodeJpeg(filled({8, 6}, skin), 90).data, "<x:");
        QVERIFY(!writeFile(dir.filePath(u"xmp.jpg"_s), xmp).isEmpty());
        QVERIFY(QDir(dir.path()).mkdir(u"out"_s));
        // Root may write anywhere; the permission bits alone must keep it out.
        QVERIFY(QDir(dir.path())
                    .mkdir(u"ro"_s, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                        QFile::ExeOther));
        const QByteArray out = QFile::encodeName(dir.filePath(u"out"_s));
        output.replace("$OUT", out);
        errors.replace("$OUT", out);

        QProcess p;
        p.setWorkingDirectory(dir.path());
        start(p, arguments.split(u' '));
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        const QByteArray printed = p.readAllStandardOutput();
        const QByteArray told = p.readAllStandardError();
        QTEST(p.exitCode(), "status");
        QVERIFY2(output.isEmpty() ? printed.isEmpty() : printed.contains(output),
                 printed.constData());
        QVERIFY2(told.contains(errors), told.constData());
        if (p.exitCode() == 2) // the reason on one line, and where to read more
            QCOMPARE(told.count('\n'), 2);
        QTEST(int(QDir(dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden).size()),
              "saved");
        QCOMPARE(entries(dir.filePath(u"ro"_s)), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
