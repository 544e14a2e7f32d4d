// Connect, disconnect and settings changes of the serial link, on pty pairs opened through the
// real port layer. A recording provider in front of it notes every open and every time-out set.
#include "link/serial_commands.h"
#include "tests/support/fake_view.h"
#include "tests/support/pty_pair.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

namespace kalvenor {
namespace {

using test::FakeDialogs;
using test::FakeView;
using test::PtyPair;
using Strings = std::vector<std::string>;

struct PortLog
{
    std::vector<SerialPortConfig> opens; // every successful open, in order
    std::vector<SerialTimeouts> timeouts; // every time-out set, in order
};

class RecordingPort : public SerialPort
{
public:
    RecordingPort(std::unique_ptr<SerialPort> real, PortLog& log)
        : m_real(std::move(real))
        , m_log(log)
    {
    }
    void setTimeouts(const SerialTimeouts& timeouts) override
    {
        m_log.timeouts.push_back(timeouts);
        m_real->setTimeouts(timeouts);
    }
    std::size_t waitingCount() override { return m_real->waitingCount(); }
    std::size_t read(std::uint8_t* buffer, std::size_t n) override
    {
        return m_real->read(buffer, n);
    }
    std::size_t write(const std::uint8_t* bytes, std::size_t n) override
    {
        return m_real->write(bytes, n);
    }
    bool waitReadable(std::int64_t timeoutMs) override { return m_real->waitReadable(timeoutMs); }

private:
    std::unique_ptr<SerialPort> m_real;
    PortLog& m_log;
};

class RecordingProvider : public SerialPortProvider
{
public:
    PortLog log;

    std::unique_ptr<SerialPort> open(const SerialPortConfig& config) override
    {
        std::unique_ptr<SerialPort> real = posixSerialPorts().open(config);
        if (!real)
            return nullptr;
        log.opens.push_back(config);
        return std::make_unique<RecordingPort>(std::move(real), log);
    }
    std::vector<std::string> candidateNames() override { return {}; }
};

class SerialConnection : public ::testing::Test
{
protected:
    SerialConnection()
    {
        state.serial.ports = &provider;
        view.texts[WidgetId::RtuPortCombo] = pty.devicePath();
    }

    void connect()
    {
        serialConnect(state, view);
        ASSERT_TRUE(state.serial.handle) << "could not open " << pty.devicePath();
        view.log.clear();
        view.statusRefreshes = 0;
    }

    PtyPair pty;
    RecordingProvider provider;
    ModbusState state;
    FakeView view;
};

TEST_F(SerialConnection, ConnectWithDefaultsOpens9600EightNoneOneWithoutFlowControl)
{
    serialConnect(state, view);

    ASSERT_TRUE(state.serial.handle);
    ASSERT_EQ(provider.log.opens.size(), 1u);
    const SerialPortConfig& config = provider.log.opens[0];
    EXPECT_EQ(config.name, pty.devicePath());
    EXPECT_EQ(config.baudRate, 9600);
    EXPECT_EQ(config.parity, 0);
    EXPECT_EQ(config.dataBits, 8);
    EXPECT_EQ(config.stopBits, 1.0f);
    EXPECT_EQ(config.handshake, HandshakeNone);
    EXPECT_EQ(view.log, Strings {"Port geöffnet: " + pty.devicePath()});
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
    EXPECT_EQ(view.statusRefreshes, 1);
}

TEST_F(SerialConnection, HandshakeItemReachesThePortAsItsLabelsFlowControl)
{
    const int expected[]
        = {HandshakeNone, HandshakeXonXoff, HandshakeRtsCts, HandshakeDtrRtsActive};
    for (int item = 0; item < 4; ++item) {
        view.indexes[WidgetId::HandshakeCombo] = item;
        serialConnect(state, view);
        ASSERT_TRUE(state.serial.handle) << "item " << item;
        EXPECT_EQ(provider.log.opens.back().handshake, expected[item]) << "item " << item;
    }
}

TEST_F(SerialConnection, EmptyPortFieldShowsOnlyTheHint)
{
    view.texts[WidgetId::RtuPortCombo] = "";
    serialConnect(state, view);

    EXPECT_EQ(view.fakeDialogs.boxes,
        (std::vector<FakeDialogs::Box> {{"Hinweis", "Bitte einen Port wählen/eingeben."}}));
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(view.statusRefreshes, 0);
    EXPECT_TRUE(provider.log.opens.empty());
    EXPECT_FALSE(state.serial.handle);
}

TEST_F(SerialConnection, OpenFailureLogsTheNameAndShowsTheErrorBox)
{
    view.texts[WidgetId::RtuPortCombo] = "/dev/kalvenor-no-such-port";
    serialConnect(state, view);

    EXPECT_FALSE(state.serial.handle);
    EXPECT_EQ(view.log, Strings {"Konnte Port nicht öffnen: /dev/kalvenor-no-such-port"});
    EXPECT_EQ(view.fakeDialogs.boxes,
        (std::vector<FakeDialogs::Box> {{"Fehler", "Port konnte nicht geöffnet werden."}}));
    EXPECT_EQ(view.statusRefreshes, 1);
}

TEST_F(SerialConnection, ConnectWhileOpenReplacesThePortWithTheOneNowNamed)
{
    connect();
    PtyPair other;
    view.texts[WidgetId::RtuPortCombo] = other.devicePath();
    serialConnect(state, view);

    ASSERT_TRUE(state.serial.handle);
    EXPECT_EQ(provider.log.opens.back().name, other.devicePath());
    EXPECT_EQ(view.log, Strings {"Port geöffnet: " + other.devicePath()});
    // The first port was let go: it can be opened again.
    EXPECT_TRUE(posixSerialPorts().open(SerialPortConfig {pty.devicePath()}));
}

TEST_F(SerialConnection, DisconnectClosesRefreshesAndLogsEvenWithoutAnOpenPort)
{
    connect();
    serialDisconnect(state, view);
    EXPECT_FALSE(state.serial.handle);
    EXPECT_EQ(view.log, Strings {"Port geschlossen."});
    EXPECT_EQ(view.statusRefreshes, 1);

    serialDisconnect(state, view);
    EXPECT_EQ(view.log, (Strings {"Port geschlossen.", "Port geschlossen."}));
    EXPECT_EQ(view.statusRefreshes, 2);
}

TEST_F(SerialConnection, TimeoutChangeWhileOpenIsAppliedAndLoggedWithoutReopening)
{
    connect();
    const std::size_t timeoutsBefore = provider.log.timeouts.size();
    view.spins[WidgetId::RtuTimeoutSpin] = 1000;
    serialApplyChanges(state, view);

    EXPECT_EQ(view.log, Strings {"Timeout aktualisiert: 1000 ms"});
    EXPECT_EQ(provider.log.opens.size(), 1u);
    ASSERT_GT(provider.log.timeouts.size(), timeoutsBefore);
    EXPECT_EQ(provider.log.timeouts.back().readTotalConstantMs, 1000);
    EXPECT_EQ(state.serial.rxTimeoutMs, 1000);
    EXPECT_EQ(view.statusRefreshes, 1);
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
}

TEST_F(SerialConnection, TimeoutChangeWhileClosedIsStoredSilently)
{
    view.spins[WidgetId::RtuTimeoutSpin] = 1000;
    serialApplyChanges(state, view);

    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(state.serial.rxTimeoutMs, 1000);
    EXPECT_EQ(view.statusRefreshes, 1);
    EXPECT_TRUE(provider.log.opens.empty());
}

TEST_F(SerialConnection, LineSettingChangeWhileOpenReopensThePort)
{
    struct Case
    {
        const char* what;
        void (*change)(FakeView&);
        bool (*took)(const SerialPortConfig&);
    };
    const Case cases[] = {
        {"baud", [](FakeView& v) { v.texts[WidgetId::BaudCombo] = "19200"; },
            [](const SerialPortConfig& c) { return c.baudRate == 19200; }},
        {"parity", [](FakeView& v) { v.indexes[WidgetId::ParityCombo] = 1; },
            [](const SerialPortConfig& c) { return c.parity == 2; }},
        {"data bits", [](FakeView& v) { v.indexes[WidgetId::DataBitsCombo] = 0; },
            [](const SerialPortConfig& c) { return c.dataBits == 7; }},
        {"stop bits", [](FakeView& v) { v.indexes[WidgetId::StopBitsCombo] = 1; },
            [](const SerialPortConfig& c) { return c.stopBits == 2.0f; }},
        {"handshake", [](FakeView& v) { v.indexes[WidgetId::HandshakeCombo] = 2; },
            [](const SerialPortConfig& c) { return c.handshake == HandshakeRtsCts; }},
    };
    for (const Case& c : cases) {
        PtyPair line;
        RecordingProvider ports;
        ModbusState s;
        FakeView v;
        s.serial.ports = &ports;
        v.texts[WidgetId::RtuPortCombo] = line.devicePath();
        serialConnect(s, v);
        ASSERT_TRUE(s.serial.handle) << c.what;
        v.log.clear();

        c.change(v);
        serialApplyChanges(s, v);

        EXPECT_TRUE(s.serial.handle) << c.what;
        ASSERT_EQ(ports.log.opens.size(), 2u) << c.what;
        EXPECT_TRUE(c.took(ports.log.opens[1])) << c.what;
        EXPECT_EQ(v.log,
            (Strings {"Serielle Parameter geändert – öffne Port neu...",
                "Port neu geöffnet: " + line.devicePath()}))
            << c.what;
        EXPECT_EQ(v.statusRefreshes, 2) << c.what;
    }
}

TEST_F(SerialConnection, ReopenFailureAfterANameChangeLeavesThePortClosed)
{
    connect();
    // Differs from the open port only in letter case: still a change, and no such device.
    std::string upper = pty.devicePath();
    for (char& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    view.texts[WidgetId::RtuPortCombo] = upper;
    serialApplyChanges(state, view);

    EXPECT_FALSE(state.serial.handle);
    EXPECT_EQ(view.log,
        (Strings {"Serielle Parameter geändert – öffne Port neu...",
            "Fehler: Port konnte nach Änderung nicht neu geöffnet werden."}));
    EXPECT_EQ(view.fakeDialogs.boxes,
        (std::vector<FakeDialogs::Box> {
            {"Fehler", "Port konnte nach Änderung nicht neu geöffnet werden."}}));
    EXPECT_EQ(view.statusRefreshes, 1);

    // Later keystrokes only update the name.
    view.texts[WidgetId::RtuPortCombo] = pty.devicePath();
    serialApplyChanges(state, view);
    EXPECT_EQ(view.log.size(), 2u);
    EXPECT_EQ(state.serial.portName, pty.devicePath());
    EXPECT_FALSE(state.serial.handle);
}

TEST_F(SerialConnection, SlaveIdOrUnchangedSettingsDoNotReopenOrLog)
{
    connect();
    view.spins[WidgetId::SlaveIdSpin] = 17;
    serialApplyChanges(state, view);
    serialApplyChanges(state, view);

    EXPECT_EQ(state.slaveId, 17);
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(provider.log.opens.size(), 1u);
    EXPECT_EQ(view.statusRefreshes, 2);
}

} // namespace
} // namespace kalvenor
