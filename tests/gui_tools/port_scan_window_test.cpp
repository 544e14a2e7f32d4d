#include "link/serial_port.h"
#include "tests/gui_tools/operator.h"
#include "tests/support/pty_pair.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kalvenor::test {
namespace {

using Names = std::vector<std::string>;

const std::string noSuchPort = "/dev/kalvenor-no-such-port";

// Another program holding the port, as the serial link itself would hold it.
std::unique_ptr<SerialPort> holdPort(const std::string& path)
{
    SerialPortConfig config;
    config.name = path;
    return posixSerialPorts().open(config);
}

Names comboEntries(const RunningWindow& running)
{
    Names names;
    for (int i = 0; i < running.window->itemCount(WidgetId::RtuPortCombo); ++i)
        names.push_back(running.window->itemText(WidgetId::RtuPortCombo, i));
    return names;
}

TEST(PortScanWindow, StartUpListsTheOpenablePortsAndSelectsTheFirst)
{
    PtyPair first, second;
    RunningWindow running({first.devicePath(), noSuchPort, second.devicePath()});

    EXPECT_EQ(running.logMessages(), (Names {"Gefundene COM Ports: 2", "Bereit."}));
    EXPECT_EQ(comboEntries(running), (Names {first.devicePath(), second.devicePath()}));
    EXPECT_EQ(running.window->currentIndex(WidgetId::RtuPortCombo), 0);
    EXPECT_EQ(
        running.find<QComboBox>("RtuPortCombo")->currentText().toStdString(), first.devicePath());
    EXPECT_EQ(running.app->modbus.serial.portName, first.devicePath());
    EXPECT_EQ(running.app->modbus.serial.handle, nullptr);
    // The probe let go of both ports again.
    EXPECT_NE(holdPort(first.devicePath()), nullptr);
    EXPECT_NE(holdPort(second.devicePath()), nullptr);
}

TEST(PortScanWindow, StartUpWithNothingOpenableLeavesTheComboEmpty)
{
    PtyPair busy;
    std::unique_ptr<SerialPort> holder = holdPort(busy.devicePath());
    ASSERT_NE(holder, nullptr);
    const Names candidates[] = {{noSuchPort}, {busy.devicePath()}, {busy.devicePath(), noSuchPort}};
    for (const Names& names : candidates) {
        SCOPED_TRACE(names.front());
        RunningWindow running(names);
        EXPECT_EQ(running.logMessages(), (Names {"Keine verfügbaren Ports gefunden.", "Bereit."}));
        EXPECT_EQ(comboEntries(running), Names {});
        EXPECT_EQ(running.find<QComboBox>("RtuPortCombo")->currentText(), "");
        EXPECT_EQ(running.app->modbus.serial.portName, "COM3");
    }
}

TEST(PortScanWindow, ScanWithAPortOpenListsItFirstAndLeavesItOpen)
{
    PtyPair free, chosen, busy;
    std::unique_ptr<SerialPort> holder = holdPort(busy.devicePath());
    ASSERT_NE(holder, nullptr);
    RunningWindow running({free.devicePath(), chosen.devicePath(), busy.devicePath()});
    running.showActive();
    EXPECT_EQ(comboEntries(running), (Names {free.devicePath(), chosen.devicePath()}));

    // The operator types the second port's name and connects to it.
    QLineEdit* portText = running.find<QComboBox>("RtuPortCombo")->lineEdit();
    QTest::mouseClick(portText, Qt::LeftButton);
    portText->selectAll();
    press(running, Qt::Key_Delete);
    type(running, QString::fromStdString(chosen.devicePath()));
    click(running, "ConnectButton");
    ASSERT_NE(running.app->modbus.serial.handle, nullptr);
    ASSERT_EQ(running.app->modbus.serial.portName, chosen.devicePath());
    const SerialPort* openPort = running.app->modbus.serial.handle.get();

    const std::size_t logBefore = running.logMessages().size();
    click(running, "ScanButton");

    const Names log = running.logMessages();
    ASSERT_EQ(log.size(), logBefore + 2);
    EXPECT_EQ(Names(log.end() - 2, log.end()),
        (Names {"Gefundene COM Ports: 2", "Portliste aktualisiert."}));
    EXPECT_EQ(comboEntries(running), (Names {chosen.devicePath(), free.devicePath()}));
    EXPECT_EQ(running.window->currentIndex(WidgetId::RtuPortCombo), 0);
    EXPECT_EQ(
        running.find<QComboBox>("RtuPortCombo")->currentText().toStdString(), chosen.devicePath());
    EXPECT_EQ(running.app->modbus.serial.portName, chosen.devicePath());
    // The open port was neither closed nor opened a second time.
    EXPECT_EQ(running.app->modbus.serial.handle.get(), openPort);
    EXPECT_EQ(running.find<QLabel>("RtuStatusField")->text().toStdString(),
        "RTU: verbunden (" + chosen.devicePath() + " @ 9600 8N1)");
    EXPECT_EQ(holdPort(chosen.devicePath()), nullptr);
    EXPECT_NE(holdPort(free.devicePath()), nullptr);

    // Once the other program lets go, the next scan finds that port too.
    holder.reset();
    click(running, "ScanButton");
    EXPECT_EQ(
        comboEntries(running), (Names {chosen.devicePath(), free.devicePath(), busy.devicePath()}));
    EXPECT_EQ(running.logMessages().end()[-2], "Gefundene COM Ports: 3");
}

} // namespace
} // namespace kalvenor::test
