#include "link/serial_link.h"
#include "ui/dispatch.h"
#include "ui/main_window.h"
#include "ui/qt_dialogs.h"
#include "ui/startup.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    kalvenor::applyApplicationLook(application);
    // The Info window may outlive the main window's close for a moment; only the main window's
    // close ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    auto app = std::make_unique<kalvenor::AppState>();
    kalvenor::QtDialogs dialogs;
    kalvenor::MainWindow window(*app, dialogs);
    dialogs.setOwner(&window);
    kalvenor::Dispatch dispatch(*app, window);
    QObject::connect(&window, &kalvenor::MainWindow::closed, &application, &QApplication::quit,
        Qt::QueuedConnection);

    kalvenor::startUp(*app, window, dispatch);
    window.show();
    application.exec();
    // Open links do not hold the program back: the port is closed, the TCP connection goes
    // with the state.
    kalvenor::serialClose(app->modbus.serial);
    return 0;
}
