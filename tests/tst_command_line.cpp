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
        QCOMPARE(second.exitCode(), 1);

        QFETCH(int, signal);
        QCOMPARE(::kill(pid_t(first.processId()), signal), 0);
        QVERIFY(first.waitForFinished(20000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(entries(runtime.filePath(u"Orvane"_s)), QStringList());
        QVERIFY(!sendToRunningInstance(socket, files[0]));
    }

    // Without a display: --apply's status tells whether every photo was saved.
    void runsWithoutADisplay_data()
    {
        QTest::addColumn<QString>("arguments"); // in a folder of a.bmp, b.bmp, bad.jpg and out
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output"); // part of the standard output, or none at all
        QTest::addColumn<int>("saved");
        QTest::newRow("version") << u"--version"_s << 0 << "Orvane 2012.00\n"_ba << 0;
        QTest::newRow("help") << u"--help"_s << 0 << "[FILE]"_ba << 0;
        QTest::newRow("help with --apply") << u"--apply --help"_s << 0 << "--apply"_ba << 0;
        const QString apply = u"--apply --reference 220,180,160 --target 200,150,170 "_s;
        QTest::newRow("all saved") << apply + u"--output out a.bmp b.bmp"_s << 0 << ""_ba << 2;
        QTest::newRow("one damaged") << apply + u"--output out a.bmp bad.jpg"_s << 1 << ""_ba << 1;
        QTest::newRow("gain over the limit")
            << u"--apply --reference 202,1,1 --target 1,1,1 --output out a.bmp"_s << 2 << ""_ba
            << 0;
        QTest::newRow("reference not a number")
            << u"--apply --reference 9,9x,9 --target 9,9,9 --output out a.bmp"_s << 2 << ""_ba << 0;
        QTest::newRow("no output folder") << apply + u"a.bmp"_s << 2 << ""_ba << 0;
        QTest::newRow("no photo") << apply + u"--output out"_s << 2 << ""_ba << 0;
    }

    void runsWithoutADisplay()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, output);
        QTemporaryDir dir;
        QVERIFY(filled({8, 6}, qRgb(200, 150, 170)).save(dir.filePath(u"a.bmp"_s)) &&
                QFile::copy(dir.filePath(u"a.bmp"_s), dir.filePath(u"b.bmp"_s)));
        QVERIFY(!writeFile(dir.filePath(u"bad.jpg"_s), "\xff\xd8\xff\xe0").isEmpty());
        QVERIFY(QDir(dir.path()).mkdir(u"out"_s));

        QProcess p;
        p.setWorkingDirectory(dir.path());
        start(p, arguments.split(u' '));
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QTEST(p.exitCode(), "status");
        const QByteArray out = p.readAllStandardOutput();
        QVERIFY2(output.isEmpty() ? out.isEmpty() && !p.readAllStandardError().isEmpty()
                                  : out.contains(output),
                 out.constData());
        QTEST(int(QDir(dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden).size()),
              "saved");
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
