#include "ui/startup.h"

#include "tools/port_scan.h"
#include "ui/dispatch.h"
#include "ui/main_window.h"
#include "ui/window_keys.h"

#include <QApplication>
#include <QTimer>

namespace kalvenor {

void applyApplicationLook(QApplication& application)
{
    // DejaVu Sans at 9 pt is 1 to 8 pixels too wide for several labels; its condensed cut at the
    // same size fits them all and stays as readable.
    QFont font("DejaVu Sans", 9);
    font.setStretch(QFont::Condensed);
    application.setFont(font);
}

void startUp(AppState& app, MainWindow& window, Dispatch& dispatch)
{
    window.setEventSink(&dispatch);
    portScan(app.modbus.serial, window);
    selectFirstPort(app.modbus.serial, window);
    window.refreshStatusBar();
    window.appendLog("Bereit.");
    qApp->installEventFilter(new WindowKeys(
        &window, [&dispatch](int command) { dispatch.menuCommand(command); }, &window));
    window.pollTimer()->start();
}

} // namespace kalvenor
