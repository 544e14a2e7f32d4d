#include "tests/support/fake_view.h"
#include "tests/support/pty_pair.h"
#include "tools/port_scan.h"

#include <gtest/gtest.h>

#include <vector>

namespace kalvenor {
namespace {

using test::FakeView;
using test::PtyPair;
using Names = std::vector<std::string>;

// The real POSIX port layer, scanning names the test chooses instead of the machine's devices.
class PosixPortsNamed : public SerialPortProvider
{
public:
    explicit PosixPortsNamed(Names names)
        : m_names(std::move(names))
    {
    }
    std::unique_ptr<SerialPort> open(const SerialPortConfig& config) override
    {
        return posixSerialPorts().open(config);
    }
    Names candidateNames() override { return m_names; }

private:
    Names m_names;
};

SerialPortConfig plainConfig(const std::string& name)
{
    SerialPortConfig config;
    config.name = name;
    return config;
}

TEST(PortScanOnPty, ABusyPortIsLeftOutAndAFreeOneIsClosedAgain)
{
    PtyPair busy, free, own;
    // Another program holds this one.
    std::unique_ptr<SerialPort> holder = posixSerialPorts().open(plainConfig(busy.devicePath()));
    ASSERT_NE(holder, nullptr);

    SerialSettings serial;
    serial.portName = own.devicePath();
    ASSERT_TRUE(serialOpen(serial));
    PosixPortsNamed ports(
        {busy.devicePath(), "/dev/kalvenor-no-such-port", free.devicePath(), own.devicePath()});
    serial.ports = &ports;
    FakeView view;

    portScanCommand(serial, view);

    EXPECT_EQ(view.items[WidgetId::RtuPortCombo], (Names {own.devicePath(), free.devicePath()}));
    EXPECT_EQ(view.log, (Names {"Gefundene COM Ports: 2", "Portliste aktualisiert."}));
    EXPECT_EQ(serial.portName, own.devicePath());
    // The scan left our own port open and working.
    ASSERT_NE(serial.handle, nullptr);
    own.send({0x55});
    EXPECT_TRUE(serial.handle->waitReadable(1000));

    // The probe released the free port: it can be taken exclusively right away.
    EXPECT_NE(posixSerialPorts().open(plainConfig(free.devicePath())), nullptr);
    serialClose(serial);
}

TEST(PortScanOnPty, NothingOpensWhenEveryCandidateIsBusyOrMissing)
{
    PtyPair busy;
    std::unique_ptr<SerialPort> holder = posixSerialPorts().open(plainConfig(busy.devicePath()));
    ASSERT_NE(holder, nullptr);
    PosixPortsNamed ports({busy.devicePath(), "/dev/kalvenor-no-such-port", "/dev/null"});
    SerialSettings serial;
    serial.ports = &ports;
    FakeView view;

    portScanCommand(serial, view);

    EXPECT_TRUE(view.items[WidgetId::RtuPortCombo].empty());
    EXPECT_EQ(view.text(WidgetId::RtuPortCombo), "");
    EXPECT_EQ(serial.portName, "COM3");
    EXPECT_EQ(view.log, (Names {"Keine verfügbaren Ports gefunden.", "Portliste aktualisiert."}));
}

} // namespace
} // namespace kalvenor
