#include "app/application.h"
#include "app/apply_command.h"
#include "app/background_job.h"
#include "app/command_line.h"
#include "app/instance_channel.h"
#include "app/lifecycle.h"
#include "app/main_form.h"
#include "app/preview_file.h"
#include "app/qt_desktop.h"
#include "app/termination_signals.h"

#include <QApplication>
#include <QProcessEnvironment>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (needsNoDisplay(argc, argv)) {
        QCoreApplication app(argc, argv);
        setApplicationNames();
        const CommandLine command = parseCommandLine(app);
        return command.apply ? runApplyCommand(*command.apply) : 0;
    }
    QApplication app(argc, argv);
    configureApplication(app, QProcessEnvironment::systemEnvironment());
    const CommandLine command = parseCommandLine(app);

    // Caught before the lock is taken, so that no kill or logout can leave it behind. Leaving
    // every event loop, a dialog's too, lets the lock go on the way out of main.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app,
                     [] { QCoreApplication::exit(0); });

    QtDesktop desktop;
    Lifecycle::InstanceLock lock;
    const QString socket = Lifecycle::instanceSocketPath();
    // A second start with a photo hands it over and ends without a word.
    const auto handOver = [&] {
        return !command.file.isEmpty() && !socket.isEmpty() &&
               sendToRunningInstance(socket, command.file);
    };
    if (!Lifecycle::claimSingleInstance(lock, desktop, handOver))
        return 0;
    // Listening before the window is built keeps a start at the same moment from waiting long:
    // what it hands over waits in the socket until the window takes it.
    InstanceServer server;
    if (!socket.isEmpty())
        server.listen(socket);

    MainForm form(desktop);
    QObject::connect(&form, &MainForm::exitRequested, &app, [] { QCoreApplication::exit(0); });
    // Closing the window stops the pass and removes the preview file, as 退出 does.
    QObject::connect(&termination, &TerminationSignals::received, &form, &QWidget::close);
    QObject::connect(&server, &InstanceServer::fileReceived, &form, [&form](const QString &path) {
        form.handOver(path);
        form.raise();
        form.activateWindow();
    });
    form.show();
    if (!command.file.isEmpty())
        form.openTarget(command.file);
    const int status = QApplication::exec();
    // A save still under way finishes its file; any other work is of no use now. Waiting for a
    // slow read would keep a program the user has left running unseen.
    BackgroundJob::waitForFinishingWork();
    PreviewFile::retire();
    if (BackgroundJob::threadsAtWork() > 0) {
        lock.release();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
