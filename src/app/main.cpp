#include "app/application.h"
#include "app/lifecycle.h"
#include "app/main_form.h"
#include "app/qt_desktop.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    configureApplication(app);

    QtDesktop desktop;
    Lifecycle::InstanceLock lock;
    if (!Lifecycle::claimSingleInstance(lock, desktop))
        return 0;

    MainForm form(desktop);
    QObject::connect(&form, &MainForm::exitRequested, &app, [] { QCoreApplication::exit(0); });
    form.show();
    return QApplication::exec();
}
