#include "tests/ui/window_fixture.h"

#include "ui/log_view.h"
#include "ui/startup.h"

#include <QTest>

#include <gtest/gtest.h>

namespace kalvenor::test {

std::unique_ptr<SerialPort> ListedPorts::open(const SerialPortConfig& config)
{
    return posixSerialPorts().open(config);
}

RunningWindow::RunningWindow(std::vector<std::string> portNames, const WindowPictures& pictures)
    : ports(std::move(portNames))
    , app(std::make_unique<AppState>())
{
    app->modbus.serial.ports = &ports;
    window = std::make_unique<MainWindow>(*app, dialogs, pictures);
    dispatch = std::make_unique<RecordingDispatch>(*app, *window);
    startUp(*app, *window, *dispatch);
}

RunningWindow::~RunningWindow()
{
    window.reset();
    serialClose(app->modbus.serial);
}

void RunningWindow::showActive()
{
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QCoreApplication::processEvents();
}

std::vector<std::string> RunningWindow::logMessages() const
{
    std::vector<std::string> messages;
    const LogView* log = window->logView();
    for (int row = 0; row < log->count(); ++row)
        messages.push_back(log->line(row).mid(11).toStdString());
    return messages;
}

} // namespace kalvenor::test
