#include "app/instance_channel.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"
#include "synthetic_face.h"
#include "test_support.h"

#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <csignal>
#include <future>
#include <memory>
#include <vector>

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
    // Started at once, as a file manager does for five selected photos, one window stays; every
    // other start hands its photo over, named from where it started, and ends without a word or
    // a window, through a socket only its user may open, over one a killed instance left.
    // Killed or logged out, the window still removes its preview file, its lock and its socket.
    void programOpensItsFileAndAnotherStartsFile()
    {
        QTemporaryDir runtime, photos;
        const QString socket = runtime.filePath(u"Orvane/instance.socket"_s);
        QVERIFY(QDir().mkdir(runtime.filePath(u"Orvane"_s),
                             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(!writeFile(socket, {}).isEmpty());
        const auto previewShown = [&] { return readFile(runtime.filePath(u"Orvane/temp.jpg"_s)); };
        QStringList files;
        QList<QByteArray> previews;
        for (int i = 0; i < 6; ++i) {
            files << photos.filePath(u"photo %1.bmp"_s.arg(i));
            QVERIFY(filled({20 + i, 10}, QColor(40 * i, 90, 200 - 30 * i)).save(files[i]));
            previews << encodeJpeg(loadPhoto(files[i]).image, 80).data;
        }

        std::array<QProcess, 5> starts;
        for (int i = 0; i < int(starts.size()); ++i)
            start(starts[i], {files[i]}, runtime.path());
        QTRY_COMPARE_WITH_TIMEOUT(
            std::ranges::count(starts, QProcess::NotRunning, &QProcess::state), 4, 30000);
        QProcess *first = nullptr;
        for (QProcess &p : starts) {
            if (p.state() != QProcess::NotRunning) {
                first = &p;
                continue;
            }
            QCOMPARE(p.exitCode(), 0);
            QCOMPARE(p.readAllStandardError(), QByteArray());
        }
        QTRY_VERIFY_WITH_TIMEOUT(previews.mid(0, 5).contains(previewShown()), 20000);
        QVERIFY(QFileInfo(socket).exists() && !QFileInfo(socket).isFile()); // a socket now
        QCOMPARE(QFile::permissions(socket) & 0077, QFileDevice::Permissions());
        QProcess second;
        second.setWorkingDirectory(photos.path());
        start(second, {u"photo 5.bmp"_s}, runtime.path());
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(previewShown(), previews[5], 20000);
        QCOMPARE(first->state(), QProcess::Running);
        start(second, {files[0], files[1]}, runtime.path());
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 2);

        QFETCH(int, signal);
        QCOMPARE(::kill(pid_t(first->processId()), signal), 0);
        QVERIFY(first->waitForFinished(20000));
        QCOMPARE(first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(first->exitCode(), 0);
        QCOMPARE(entries(runtime.filePath(u"Orvane"_s)), QStringList());
    }

    // A path arrives byte for byte, a newline in it too, not as the neighbour the newline would
    // cut it to. What is not a whole message of ours, or nothing at all, gets its connection
    // closed: idle clients never pile up, and a start meanwhile is still served.
    void handOverIsWholeAndIdleClientsAreDropped()
    {
        QTemporaryDir runtime, photos;
        const QString socketPath = runtime.filePath(u"s"_s);
        InstanceServer server;
        QVERIFY(server.listen(socketPath));
        QSignalSpy received(&server, &InstanceServer::fileReceived);
        std::vector<std::unique_ptr<QLocalSocket>> clients;
        const auto connectClient = [&](const QByteArray &bytes) {
            clients.push_back(std::make_unique<QLocalSocket>());
            clients.back()->connectToServer(socketPath);
            QVERIFY(clients.back()->waitForConnected(5000));
            clients.back()->write(bytes);
        };
        const auto open = [&] {
            return std::ranges::count(clients, QLocalSocket::ConnectedState,
                                      [](const auto &c) { return c->state(); });
        };
        connectClient(QByteArray::fromHex("00000004") + "/a\nb" + "trailing");
        connectClient(QByteArray::fromHex("ffffffff"));
        connectClient(QByteArray::fromHex("00000003") + "a/b"); // not absolute
        QTRY_COMPARE_WITH_TIMEOUT(open(), 0, InstanceServer::kIdleMs / 2);
        // A message may come in pieces.
        connectClient(QByteArray::fromHex("00000004") + "/a");
        QTest::qWait(50);
        clients.back()->write("\nb");
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.takeFirst().at(0).toString(), u"/a\nb"_s);
        for (int i = 0; i < 20; ++i)
            connectClient({});
        // Well before any of them could have timed out.
        QTRY_VERIFY_WITH_TIMEOUT(open() <= InstanceServer::kMaxConnections,
                                 InstanceServer::kIdleMs / 2);
        const QString named = photos.filePath(u"photo\n.jpg"_s);
        QVERIFY(!writeFile(named, "x").isEmpty() &&
                !writeFile(photos.filePath(u"photo"_s), "y").isEmpty());
        // The server answers only while the test's event loop runs, so the client waits elsewhere.
        std::future<bool> sent = std::async(
            std::launch::async, [&] { return sendToRunningInstance(socketPath, named); });
        QTRY_VERIFY(sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
        QVERIFY(sent.get());
        QVERIFY(!sendToRunningInstance(runtime.filePath(u"nobody"_s), named)); // after 3 s
        QTRY_COMPARE_WITH_TIMEOUT(open(), 0, InstanceServer::kIdleMs + 3000);
        QCOMPARE(received.size(), 1); // the hand-off among them
        QCOMPARE(received.takeFirst().at(0).toString(), named);
    }

    // Without a display: --apply's status tells whether every photo was saved, and a line
    // tells each photo's fate in the order given; every wrong command line is status 2.
    void runsWithoutADisplay_data()
    {
        // In a folder of a.bmp, a large a.png, bad.jpg, xmp.jpg (its XMP not XML), a
        // portrait face.png, out and ro (0555); $OUT is out's absolute path.
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output"); // part of the standard output, or none at all
        QTest::addColumn<QByteArray>("errors"); // part of the standard error
        QTest::addColumn<int>("saved");         // files in out
        const auto row = [](const char *name, const QString &arguments, int status,
                            const QByteArray &output, const QByteArray &errors, int saved = 0) {
            QTest::newRow(name) << arguments << status << output << errors << saved;
        };
        row("version", u"--version"_s, 0, "Orvane 2012.00\n", "");
        row("help, before --apply", u"--apply --help"_s, 0, "[FILE]", "");
        const QString apply = u"--apply --reference 220,180,160 --target 200,150,170 "_s;
        // The large photo is done last, yet named first.
        row("all saved, named in the order given", apply + u"--output ./out/ a.png a.bmp"_s, 0,
            "a.png -> $OUT/a.jpg\na.bmp -> $OUT/a-1.jpg\n", "Saved 2 of 2 photos in $OUT.\n", 2);
        row("one damaged", apply + u"--output out bad.jpg a.bmp"_s, 1, "a.bmp -> $OUT/a.jpg\n",
            "bad.jpg: cannot read this photo\n", 1);
        row("metadata left out", apply + u"--output out xmp.jpg"_s, 0,
            "xmp.jpg -> $OUT/xmp.jpg (XMP not kept)\n", "Saved 1 of 1", 1);
        row("folder nobody may write", apply + u"--output ro a.bmp"_s, 1, "",
            "a.bmp: cannot write it: ");
        const QString match = u"--apply --reference 255,180,160 --match-skin "_s;
        row("skin matched, no face", match + u"--output out a.bmp face.png"_s, 1,
            "face.png -> $OUT/face.jpg\n", "a.bmp: no face found\nSaved 1 of 2", 1);
        row("target and match", apply + u"--match-skin --output out face.png"_s, 2, "",
            "--target and --match-skin cannot go together");
        row("neither target nor match", u"--apply --reference 1,1,1 --output out a.bmp"_s, 2, "",
            "--apply needs --target or --match-skin");
        row("no reference", u"--apply --match-skin --output out face.png"_s, 2, "",
            "--apply needs --reference");
        row("gain over the limit",
            u"--apply --reference 202,0,0 --target 1,0,0 --output out a.bmp"_s, 2, "", "too large");
        // One rule for both colours.
        for (const char *given : {"9,9x,9", "-1,-1,-1", "256,1,1", "9,9,9,9"})
            row(given,
                u"--apply --target 9,9,9 --output out a.bmp --reference "_s + QLatin1String(given),
                2, "", "--reference takes three whole numbers from 0 to 255");
        row("9,9,-9", u"--apply --reference 9,9,9 --target 9,9,-9 --output out a.bmp"_s, 2, "",
            "--target takes three whole numbers from 0 to 255");
        row("output a file", apply + u"--output a.bmp a.bmp"_s, 2, "",
            "--output a.bmp is not a folder");
        row("no output folder", apply + u"a.bmp"_s, 2, "", "needs --output");
        row("no photo", apply + u"--output out"_s, 2, "", "FILE");
        // Either way of giving a value.
        for (const char *given :
             {"--reference 1,1,1", "--target=1,1,1", "--match-skin", "--output=out"})
            row(given, QString::fromLatin1(given) + u" a.bmp"_s, 2, "",
                QByteArray(given).replace('=', ' ').split(' ')[0] + " goes with --apply");
    }

    void runsWithoutADisplay()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, errors);
        QTemporaryDir dir;
        const QColor skin(200, 150, 170);
        QVERIFY(filled({8, 6}, skin).save(dir.filePath(u"a.bmp"_s)));
        QVERIFY(gradient({1600, 1200}).save(dir.filePath(u"a.png"_s)));
        QVERIFY(!writeFile(dir.filePath(u"bad.jpg"_s), "\xff\xd8\xff\xe0").isEmpty());
        const QByteArray xmp = withXmpSegment(encodeJpeg(filled({8, 6}, skin), 90).data, "<x:");
        QVERIFY(!writeFile(dir.filePath(u"xmp.jpg"_s), xmp).isEmpty());
        QVERIFY(syntheticPortrait(QColor(210, 160, 140)).save(dir.filePath(u"face.png"_s)));
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
        const QByteArray printed = p.readAllStandardOutput(), told = p.readAllStandardError();
        QTEST(p.exitCode(), "status");
        QVERIFY2(output.isEmpty() ? printed.isEmpty() : printed.contains(output),
                 printed.constData());
        QVERIFY2(told.contains(errors), told.constData());
        if (p.exitCode() == 2) // the reason on one line, and where to read more
            QVERIFY2(told.startsWith("orvane: ") && told.endsWith("\nTry 'orvane --help'.\n") &&
                         told.count('\n') == 2,
                     told.constData());
        QTEST(int(QDir(dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden).size()),
              "saved");
        QCOMPARE(entries(dir.filePath(u"ro"_s)), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
