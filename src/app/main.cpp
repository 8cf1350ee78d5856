#include "app/application.h"
#include "app/command_line.h"
#include "app/instance_channel.h"
#include "app/lifecycle.h"
#include "app/main_form.h"
#include "app/qt_desktop.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (asksForInformation(argc, argv)) {
        QCoreApplication app(argc, argv);
        setApplicationNames();
        parseCommandLine(app);
        return 0;
    }
    QApplication app(argc, argv);
    configureApplication(app);
    const CommandLine command = parseCommandLine(app);

    QtDesktop desktop;
    Lifecycle::InstanceLock lock;
    const QString socket = Lifecycle::instanceSocketPath();
    // A second start with a photo hands it over and ends without a word.
    const auto handOver = [&] {
        return !command.file.isEmpty() && sendToRunningInstance(socket, command.file);
    };
    if (!Lifecycle::claimSingleInstance(lock, desktop, handOver))
        return 0;

    MainForm form(desktop);
    QObject::connect(&form, &MainForm::exitRequested, &app, [] { QCoreApplication::exit(0); });
    InstanceServer server;
    server.listen(socket);
    QObject::connect(&server, &InstanceServer::fileReceived, &form, [&form](const QString &path) {
        form.openTarget(path);
        form.raise();
        form.activateWindow();
    });
    form.show();
    if (!command.file.isEmpty())
        form.openTarget(command.file);
    return QApplication::exec();
}
