#include "tests/support/fake_view.h"
#include "tests/support/silent_port.h"
#include "tools/port_scan.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace kalvenor {
namespace {

using test::FakeView;
using Names = std::vector<std::string>;

// A port layer whose devices are a list of names; records every open it is asked for.
class FakePorts : public SerialPortProvider
{
public:
    Names candidates;
    std::set<std::string> openable;
    std::vector<SerialPortConfig> opened;

    std::unique_ptr<SerialPort> open(const SerialPortConfig& config) override
    {
        opened.push_back(config);
        if (!openable.count(config.name))
            return nullptr;
        return std::make_unique<test::SilentSerialPort>();
    }
    Names candidateNames() override { return candidates; }

    Names openedNames() const
    {
        Names names;
        for (const SerialPortConfig& c : opened)
            names.push_back(c.name);
        return names;
    }
};

Names comNames()
{
    Names names;
    for (int n = 1; n <= 64; ++n)
        names.push_back("COM" + std::to_string(n));
    return names;
}

TEST(PortNames, NormalisationTrimsBlanksOnlyAndLowersCase)
{
    const std::pair<const char*, const char*> cases[] = {
        {"COM3", "com3"},
        {" COM3 ", "com3"},
        {"com3", "com3"},
        {"\tCOM3", "\tcom3"},
        {"/dev/ttyUSB0", "/dev/ttyusb0"},
        {"", ""},
        {"   ", ""},
    };
    for (const auto& [name, normalized] : cases)
        EXPECT_EQ(normalizePortName(name), normalized) << "'" << name << "'";
}

class PortScan : public ::testing::Test
{
protected:
    FakePorts ports;
    FakeView view;
    SerialSettings serial;

    void SetUp() override
    {
        serial.ports = &ports;
        ports.candidates = comNames();
    }
    // Pretends the link holds a port open under this name.
    void holdOpen(const std::string& name)
    {
        serial.portName = name;
        serial.handle = std::make_unique<test::SilentSerialPort>();
    }
    Names listed() const { return view.items.at(WidgetId::RtuPortCombo); }
};

struct ScanCase
{
    const char* name;
    std::set<std::string> openable;
    std::string openPort; // "" when no port is open
    Names listed;
    std::string portName; // after the scan and the selection
    std::string logLine;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class PortScanCases : public PortScan, public ::testing::WithParamInterface<ScanCase>
{
};

TEST_P(PortScanCases, ListsTheOpenPortFirstThenWhatOpens)
{
    const ScanCase& c = GetParam();
    ports.openable = c.openable;
    if (!c.openPort.empty())
        holdOpen(c.openPort);
    view.items[WidgetId::RtuPortCombo] = {"stale entry"};
    view.texts[WidgetId::RtuPortCombo] = "typed";

    portScanCommand(serial, view);

    EXPECT_EQ(listed(), c.listed);
    EXPECT_EQ(serial.portName, c.portName);
    EXPECT_EQ(view.text(WidgetId::RtuPortCombo), c.listed.empty() ? "" : c.listed.front());
    if (!c.listed.empty()) {
        EXPECT_EQ(view.currentIndex(WidgetId::RtuPortCombo), 0);
    }
    EXPECT_EQ(view.log, (Names {c.logLine, "Portliste aktualisiert."}));
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());

    // Our own port is never opened a second time; every other name is tried once, in order.
    Names expectedProbes;
    for (const std::string& name : comNames()) {
        if (c.openPort.empty() || normalizePortName(name) != normalizePortName(c.openPort))
            expectedProbes.push_back(name);
    }
    EXPECT_EQ(ports.openedNames(), expectedProbes);
}

INSTANTIATE_TEST_SUITE_P(Cases, PortScanCases,
    ::testing::Values(ScanCase {"NothingFoundKeepsThePortName", {}, "", {}, "COM3",
                          "Keine verfügbaren Ports gefunden."},
        ScanCase {
            "TwoFound", {"COM1", "COM5"}, "", {"COM1", "COM5"}, "COM1", "Gefundene COM Ports: 2"},
        ScanCase {"OpenPortFirstAndNotProbed", {"COM1", "COM3", "COM5"}, "COM3",
            {"COM3", "COM1", "COM5"}, "COM3", "Gefundene COM Ports: 3"},
        ScanCase {"OpenPortAsTypedInLowerCase", {"COM1", "COM3", "COM5"}, "com3",
            {"com3", "COM1", "COM5"}, "com3", "Gefundene COM Ports: 3"},
        ScanCase {"OpenPortWithBlanks", {"COM3"}, " COM3 ", {" COM3 "}, " COM3 ",
            "Gefundene COM Ports: 1"},
        ScanCase {"OnlyTheOpenPort", {}, "COM7", {"COM7"}, "COM7", "Gefundene COM Ports: 1"},
        ScanCase {"TwoDigitNumbers", {"COM12", "COM64"}, "", {"COM12", "COM64"}, "COM12",
            "Gefundene COM Ports: 2"}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return info.param.name; });

TEST_F(PortScan, ProbesWithSmallBuffersAt9600EightNoneOneWithoutHandshake)
{
    ports.candidates = {"COM2"};
    ports.openable = {"COM2"};
    // The link's own settings must not leak into the probe.
    serial.baudRate = 115200;
    serial.parity = 2;
    serial.dataBits = 7;
    serial.stopBits = 2.0f;
    serial.handshake = HandshakeRtsCts;

    portScan(serial, view);

    ASSERT_EQ(ports.opened.size(), 1u);
    const SerialPortConfig& probe = ports.opened.front();
    EXPECT_EQ(probe.name, "COM2");
    EXPECT_EQ(probe.baudRate, 9600);
    EXPECT_EQ(probe.parity, 0);
    EXPECT_EQ(probe.dataBits, 8);
    EXPECT_EQ(probe.stopBits, 1.0f);
    EXPECT_EQ(probe.handshake, HandshakeNone);
    EXPECT_EQ(probe.inputBufferSize, 64);
    EXPECT_EQ(probe.outputBufferSize, 64);
}

TEST_F(PortScan, ANameListedTwiceAmongTheCandidatesIsListedOnce)
{
    ports.candidates = {"COM1", "com1", " COM1"};
    ports.openable = {"COM1", "com1", " COM1"};
    portScan(serial, view);
    EXPECT_EQ(listed(), Names {"COM1"});
    EXPECT_EQ(ports.openedNames(), Names {"COM1"});
    EXPECT_EQ(view.log, Names {"Gefundene COM Ports: 1"});
}

TEST_F(PortScan, ScanAloneLeavesTheSelectionToItsCaller)
{
    ports.openable = {"COM4"};
    portScan(serial, view);
    EXPECT_EQ(listed(), Names {"COM4"});
    EXPECT_EQ(serial.portName, "COM3");

    selectFirstPort(serial, view);
    EXPECT_EQ(serial.portName, "COM4");
    EXPECT_EQ(view.text(WidgetId::RtuPortCombo), "COM4");
}

TEST_F(PortScan, IsPortListedComparesNormalisedEntries)
{
    view.items[WidgetId::RtuPortCombo] = {" COM3", "/dev/ttyUSB0"};
    EXPECT_TRUE(isPortListed(view, "com3 "));
    EXPECT_TRUE(isPortListed(view, "/DEV/TTYUSB0"));
    EXPECT_FALSE(isPortListed(view, "COM30"));
    EXPECT_FALSE(isPortListed(view, ""));
}

} // namespace
} // namespace kalvenor
