#include "app/application.h"
#include "app/lifecycle.h"
#include "app/main_form.h"
#include "app/qt_desktop.h"
#include "app/termination_signals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    configureApplication(app);

    // Caught before the lock is taken, so that no kill or logout can leave it behind. Leaving
    // every event loop, a dialog's too, lets the lock go on the way out of main.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app,
                     [] { QCoreApplication::exit(0); });

    QtDesktop desktop;
    Lifecycle::InstanceLock lock;
    if (!Lifecycle::claimSingleInstance(lock, desktop))
        return 0;

    MainForm form(desktop);
    QObject::connect(&form, &MainForm::exitRequested, &app, [] { QCoreApplication::exit(0); });
    // Closing the window stops the pass and removes the preview file, as 退出 does.
    QObject::connect(&termination, &TerminationSignals::received, &form, &QWidget::close);
    form.show();
    const int status = QApplication::exec();
    // A dialog's event loop that ended with the program may have had a preview written after.
    Lifecycle::removeTemporaryPreview();
    return status;
}
