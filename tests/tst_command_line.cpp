#include "app/instance_channel.h"
#include "output/jpeg_writer.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;

// The program opened with a file, and a file handed over to the running instance.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void runningInstanceTakesAFile()
    {
        QTemporaryDir dir;
        InstanceServer server;
        const QString socket = dir.filePath(u"instance.socket"_s);
        QFile left(socket); // left behind by a killed instance
        QVERIFY(left.open(QIODevice::WriteOnly));
        left.close();
        QVERIFY(server.listen(socket));
        QCOMPARE(QFile::permissions(socket) & 0077, QFileDevice::Permissions());
        QSignalSpy received(&server, &InstanceServer::fileReceived);
        std::atomic<int> taken = -1;
        std::thread second([&] { taken = sendToRunningInstance(socket, u"photo 1.jpg"_s); });
        QTRY_VERIFY_WITH_TIMEOUT(taken != -1, 10000); // the event loop answers meanwhile
        second.join();
        QCOMPARE(taken, 1);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.first().first().toString(), QDir::current().filePath(u"photo 1.jpg"_s));
        QVERIFY(!sendToRunningInstance(dir.filePath(u"nobody"_s), u"x.jpg"_s));
    }

    // The real program, offscreen: its preview file shows which photo it holds as its target.
    void programOpensItsFileAndAnotherStartsFile()
    {
        QTemporaryDir runtime, photos;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        const auto start = [&](QProcess &p, const QStringList &arguments) {
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(ORVANE_PROGRAM), arguments);
            return p.waitForStarted();
        };
        const QString preview = runtime.filePath(u"Orvane/temp.jpg"_s);
        const auto previewOf = [](const QString &path) {
            return encodeJpeg(loadPhoto(path).image, 80).data;
        };
        const auto previewShown = [&] {
            QFile file(preview);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QString files[2];
        for (int i = 0; i < 2; ++i) {
            QImage image(40 + i, 30, QImage::Format_RGB32);
            image.fill(i ? Qt::darkCyan : Qt::darkRed);
            files[i] = photos.filePath(u"photo %1.bmp"_s.arg(i));
            QVERIFY(image.save(files[i]));
        }

        QProcess first;
        QVERIFY(start(first, {files[0]}));
        QTRY_COMPARE_WITH_TIMEOUT(previewShown(), previewOf(files[0]), 20000);

        QProcess second; // hands its file over and ends without a word or a window
        QVERIFY(start(second, {files[1]}));
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardError(), QByteArray());
        QTRY_COMPARE_WITH_TIMEOUT(previewShown(), previewOf(files[1]), 20000);
        QCOMPARE(first.state(), QProcess::Running);
        first.terminate();
        QVERIFY(first.waitForFinished(20000));
    }

    // Help and version need no display.
    void versionAndHelp()
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            env.remove(name);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ORVANE_PROGRAM), {u"--version"_s});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.readAllStandardOutput().trimmed(), QByteArray("Orvane 2012.00"));
        p.start(QStringLiteral(ORVANE_PROGRAM), {u"--help"_s});
        QVERIFY(p.waitForFinished(20000));
        const QByteArray help = p.readAllStandardOutput();
        QVERIFY(help.contains("[FILE]") && help.contains("--apply"));
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ORVANE_PROGRAM), {u"a.jpg"_s, u"b.jpg"_s});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 1);
    }

    // --apply without a display: the status tells whether every photo was saved.
    void applyExitStatus_data()
    {
        QTest::addColumn<QStringList>("arguments"); // OUT is the output folder
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("saved");
        const QStringList colours{u"--reference"_s, u"220,180,160"_s, u"--target"_s,
                                  u"200,150,170"_s};
        const QStringList apply = QStringList{u"--apply"_s} + colours;
        QTest::newRow("all saved")
            << apply + QStringList{u"--output"_s, u"OUT"_s, u"a.bmp"_s, u"b.bmp"_s} << 0 << 2;
        QTest::newRow("one damaged")
            << apply + QStringList{u"--output"_s, u"OUT"_s, u"a.bmp"_s, u"bad.jpg"_s} << 1 << 1;
        QTest::newRow("gain at the limit")
            << QStringList{u"--apply"_s, u"--reference"_s, u"201,1,1"_s, u"--target"_s,
                           u"1,1,1"_s,   u"--output"_s,    u"OUT"_s,     u"a.bmp"_s}
            << 0 << 1;
        QTest::newRow("gain over the limit")
            << QStringList{u"--apply"_s, u"--reference"_s, u"202,1,1"_s, u"--target"_s,
                           u"1,1,1"_s,   u"--output"_s,    u"OUT"_s,     u"a.bmp"_s}
            << 2 << 0;
        QTest::newRow("undefined gain")
            << QStringList{u"--apply"_s, u"--reference"_s, u"9,9,9"_s, u"--target"_s,
                           u"9,0,9"_s,   u"--output"_s,    u"OUT"_s,   u"a.bmp"_s}
            << 2 << 0;
        QTest::newRow("reference not a number")
            << QStringList{u"--apply"_s, u"--reference"_s, u"9,9x,9"_s, u"--target"_s,
                           u"9,9,9"_s,   u"--output"_s,    u"OUT"_s,    u"a.bmp"_s}
            << 2 << 0;
        QTest::newRow("no output folder") << apply + QStringList{u"a.bmp"_s} << 2 << 0;
        QTest::newRow("no photo") << apply + QStringList{u"--output"_s, u"OUT"_s} << 2 << 0;
    }

    void applyExitStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(int, saved);
        QTemporaryDir dir;
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(qRgb(200, 150, 170));
        QVERIFY(image.save(dir.filePath(u"a.bmp"_s)) && image.save(dir.filePath(u"b.bmp"_s)));
        QFile bad(dir.filePath(u"bad.jpg"_s));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("\xff\xd8\xff\xe0") == 4);
        bad.close();
        QVERIFY(QDir(dir.path()).mkdir(u"out"_s));
        arguments.replaceInStrings(u"OUT"_s, u"out"_s);

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            env.remove(name);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(ORVANE_PROGRAM), arguments);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), status);
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
        QVERIFY(!p.readAllStandardError().isEmpty());
        QCOMPARE(QDir(dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden).size(), saved);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
