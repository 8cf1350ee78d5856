#include "app/instance_channel.h"
#include "photo/jpeg_codec.h"
#include "photo/photo_loader.h"
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

    // Starts at the same moment, as a file manager makes for five selected photos: one window
    // stays, and every other start hands its photo to it and ends without a word.
    void startsAtOnceLeaveOneWindow()
    {
        QTemporaryDir runtime, photos;
        QList<QByteArray> previews;
        std::array<QProcess, 5> starts;
        for (int i = 0; i < int(starts.size()); ++i) {
            const QString file = photos.filePath(u"%1.bmp"_s.arg(i));
            QVERIFY(filled({20 + i, 10}, QColor(40 * i, 90, 200 - 30 * i)).save(file));
            previews << encodeJpeg(loadPhoto(file).image, 80).data;
        }
        for (int i = 0; i < int(starts.size()); ++i)
            start(starts[i], {photos.filePath(u"%1.bmp"_s.arg(i))}, runtime.path());
        const auto running = [&] {
            return std::count_if(starts.begin(), starts.end(), [](const QProcess &p) {
                return p.state() != QProcess::NotRunning;
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(running(), 1, 30000);
        QProcess *window = nullptr;
        for (QProcess &p : starts) {
            if (p.state() != QProcess::NotRunning) {
                window = &p;
                continue;
            }
            QCOMPARE(p.exitCode(), 0);
            QCOMPARE(p.readAllStandardError(), QByteArray());
        }
        const QString preview = runtime.filePath(u"Orvane/temp.jpg"_s);
        QTRY_VERIFY_WITH_TIMEOUT(previews.contains(readFile(preview)), 20000);
        QCOMPARE(::kill(pid_t(window->processId()), SIGTERM), 0);
        QVERIFY(window->waitForFinished(20000));
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
        // The server answers only while the test's event loop runs, so the client waits elsewhere.
        const auto handOver = [&](const QString &file) {
            return std::async(std::launch::async, [&socketPath, file] {
                return sendToRunningInstance(socketPath, file);
            });
        };
        const auto done = [](std::future<bool> &sent) {
            return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        };

        const QString named = photos.filePath(u"photo\n.jpg"_s);
        QVERIFY(!writeFile(named, "x").isEmpty() &&
                !writeFile(photos.filePath(u"photo"_s), "y").isEmpty());
        std::future<bool> sent = handOver(named);
        QTRY_VERIFY(done(sent));
        QVERIFY(sent.get());
        QCOMPARE(received.size(), 1);
        QCOMPARE(received.takeFirst().at(0).toString(), named);

        std::vector<std::unique_ptr<QLocalSocket>> clients;
        const auto connectClient = [&](const QByteArray &bytes) {
            clients.push_back(std::make_unique<QLocalSocket>());
            clients.back()->connectToServer(socketPath);
            QVERIFY(clients.back()->waitForConnected(5000));
            clients.back()->write(bytes);
        };
        const auto open = [&] {
            return std::count_if(clients.begin(), clients.end(), [](const auto &c) {
                return c->state() == QLocalSocket::ConnectedState;
            });
        };
        connectClient(QByteArray::fromHex("00000004") + "/a\nb" + "trailing");
        connectClient(QByteArray::fromHex("ffffffff"));
        connectClient(QByteArray::fromHex("00000003") + "a/b"); // not absolute
        QTRY_COMPARE(open(), 0);
        for (int i = 0; i < 20; ++i)
            connectClient({});
        // Well before any of them could have timed out.
        QTRY_VERIFY_WITH_TIMEOUT(open() <= InstanceServer::kMaxConnections,
                                 InstanceServer::kIdleMs / 2);
        sent = handOver(photos.filePath(u"photo"_s));
        QTRY_VERIFY(done(sent));
        QVERIFY(sent.get());
        QTRY_COMPARE_WITH_TIMEOUT(open(), 0, InstanceServer::kIdleMs + 3000);
        QCOMPARE(received.size(), 1);
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
