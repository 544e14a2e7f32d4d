// The TCP register commands: ordinary answers from the libmodbus demo device, silent and
// malformed answers from a scripted loopback peer.
#include "commands/register_commands.h"
#include "demo/demo_device.h"
#include "link/tcp_commands.h"
#include "tests/commands/peers.h"
#include "tests/support/fake_view.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kalvenor {
namespace {

using test::Bytes;
using test::eventually;
using test::FakeDialogs;
using test::FakeView;
using test::TcpPeer;
using Boxes = std::vector<FakeDialogs::Box>;
using Strings = std::vector<std::string>;
using Command = void (*)(ModbusState&, OperatorView&);

void connectTo(ModbusState& state, FakeView& view, int port)
{
    view.texts[WidgetId::TcpPortField] = std::to_string(port);
    tcpConnect(state, view);
    ASSERT_TRUE(state.tcp.connection) << "port " << port;
    view.log.clear();
    view.statusRefreshes = 0;
}

void waitForConnections(const TcpPeer& peer, int n)
{
    ASSERT_TRUE(eventually([&] { return peer.connections() >= n; }));
    ASSERT_EQ(peer.connections(), n);
}

class TcpCommandsOnDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(device.startTcp("127.0.0.1", 0, error)) << error;
        connectTo(state, view, device.tcpPort());
    }

    demo::DemoDevice device;
    ModbusState state;
    FakeView view;
};

TEST_F(TcpCommandsOnDevice, ReadLogsFramesAfterTheExchangeAndFillsTheTable)
{
    view.texts[WidgetId::TcpReadStartField] = "0x10";
    tcpReadCommand(state, view);

    EXPECT_EQ(view.log,
        (Strings {"TX-TCP (12 B): 00 01 00 00 00 06 01 03 00 10 00 02",
            "RX-TCP (13 B): 00 01 00 00 00 07 01 03 04 00 10 00 11",
            "OK: FC03 – 2 Register ab 0x0010 (16)"}));
    EXPECT_EQ(view.tables[WidgetId::TcpRegisterList],
        (std::vector<RegisterRow> {
            {"0x0010", "16", "$0010", "16"}, {"0x0011", "17", "$0011", "17"}}));
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
}

TEST_F(TcpCommandsOnDevice, ReadCountOutsideOneTo125SendsNothing)
{
    for (const char* count : {"0", "126", "abc"}) {
        view.fakeDialogs.boxes.clear();
        view.texts[WidgetId::TcpReadCountField] = count;
        tcpReadCommand(state, view);
        EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Hinweis", "Anzahl muss 1..125 sein."}}))
            << count;
    }
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(state.tcp.transactionId, 0);

    view.texts[WidgetId::TcpReadCountField] = "0x7D";
    view.indexes[WidgetId::TcpReadTypeCombo] = 1; // input registers: the device has three
    tcpReadCommand(state, view);
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[0], "TX-TCP (12 B): 00 01 00 00 00 06 01 04 00 00 00 7D");
    EXPECT_EQ(view.log[1], "! Modbus-Exception: ILLEGAL DATA ADDRESS (02)");
}

TEST_F(TcpCommandsOnDevice, WriteSingleLogsTheTcpSuccessLine)
{
    view.texts[WidgetId::TcpWriteAddressField] = "0x10";
    view.texts[WidgetId::TcpWriteValueField] = "0xFF";
    tcpWriteSingleCommand(state, view);

    EXPECT_EQ(view.log,
        (Strings {"TX-TCP (12 B): 00 01 00 00 00 06 01 06 00 10 00 FF",
            "RX-TCP (12 B): 00 01 00 00 00 06 01 06 00 10 00 FF",
            "OK: FC06 (TCP) – Reg 0x0010 (16) := $00FF (255)"}));
    EXPECT_EQ(device.holdingRegister(16), 255);
}

TEST_F(TcpCommandsOnDevice, WriteMultipleLogsNoListingAndTakesUpTo123Values)
{
    tcpWriteMultipleCommand(state, view);
    EXPECT_EQ(view.log,
        (Strings {"TX-TCP (19 B): 00 01 00 00 00 0D 01 10 00 00 00 03 06 00 0A 00 14 00 1E",
            "RX-TCP (12 B): 00 01 00 00 00 06 01 10 00 00 00 03",
            "OK: FC16 (TCP) – 3 Register ab 0x0000 (0)"}));
    EXPECT_EQ(device.holdingRegister(2), 30);

    std::string values;
    for (int i = 0; i < 123; ++i)
        values += std::to_string(i + 5000) + ";";
    view.texts[WidgetId::TcpWriteStartField] = "500";
    view.texts[WidgetId::TcpWriteValuesField] = values;
    view.log.clear();
    tcpWriteMultipleCommand(state, view);
    ASSERT_EQ(view.log.size(), 3u);
    EXPECT_EQ(view.log[0].rfind("TX-TCP (259 B): 00 02 00 00 00 FD 01 10 01 F4 00 7B F6 ", 0), 0u)
        << view.log[0];
    EXPECT_EQ(view.log[2], "OK: FC16 (TCP) – 123 Register ab 0x01F4 (500)");
    EXPECT_EQ(device.holdingRegister(622), 5122);

    view.log.clear();
    for (const std::string& text : {values + "1", std::string(",;,"), std::string("  ")}) {
        view.fakeDialogs.boxes.clear();
        view.texts[WidgetId::TcpWriteValuesField] = text;
        tcpWriteMultipleCommand(state, view);
        ASSERT_EQ(view.fakeDialogs.boxes.size(), 1u) << text;
        EXPECT_EQ(view.fakeDialogs.boxes[0].title, "Hinweis");
    }
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(state.tcp.transactionId, 2);
}

TEST(TcpCommands, EveryCommandNeedsAConnection)
{
    ModbusState state;
    FakeView view;
    view.texts[WidgetId::TcpReadCountField] = "0"; // the link check comes first
    view.texts[WidgetId::TcpWriteValuesField] = "";
    for (Command command : {tcpReadCommand, tcpWriteSingleCommand, tcpWriteMultipleCommand}) {
        view.fakeDialogs.boxes.clear();
        command(state, view);
        EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Hinweis", "Bitte zuerst TCP verbinden."}}));
    }
    EXPECT_TRUE(view.log.empty());
}

struct CommandCase
{
    const char* name;
    Command command;
    std::string retryLine;
    std::uint8_t functionCode;
    std::string exceptionMessage; // for exception code 2
};

const CommandCase commandCases[] = {
    {"read", tcpReadCommand, "TCP erneut verbunden. Erneuter Leseversuch...", 0x03,
        "Modbus-Exception: ILLEGAL DATA ADDRESS (02)"},
    {"write single", tcpWriteSingleCommand,
        "TCP erneut verbunden. Erneuter Schreibversuch (FC06)...", 0x06,
        "Modbus-Exception (FC06): ILLEGAL DATA ADDRESS (02)"},
    {"write multiple", tcpWriteMultipleCommand,
        "TCP erneut verbunden. Erneuter Schreibversuch (FC16)...", 0x10,
        "Modbus-Exception (FC16): ILLEGAL DATA ADDRESS (02)"},
};

const std::string resyncHint
    = "Hinweis: TCP-Stream neu synchronisieren – Verbindung wird neu aufgebaut...";

Bytes silent(const Bytes&, int) { return {}; }

TEST(TcpCommandsOnSilentServer, ResyncOnceRetryThenReportOneDump)
{
    for (const CommandCase& c : commandCases) {
        SCOPED_TRACE(c.name);
        TcpPeer peer(silent);
        ModbusState state;
        FakeView view;
        view.spins[WidgetId::TcpTimeoutSpin] = 100;
        const std::vector<RegisterRow> earlier = {{"0x0005", "5", "$0001", "1"}};
        view.tables[WidgetId::TcpRegisterList] = earlier;
        connectTo(state, view, peer.port());

        const auto begin = std::chrono::steady_clock::now();
        c.command(state, view);
        const auto took = std::chrono::steady_clock::now() - begin;

        ASSERT_EQ(view.log.size(), 4u);
        EXPECT_EQ(view.log[0], resyncHint);
        EXPECT_EQ(view.log[1], c.retryLine);
        // The dump shows the retried frame: transaction 2.
        EXPECT_EQ(view.log[2].rfind("TX-TCP (", 0), 0u) << view.log[2];
        EXPECT_NE(view.log[2].find(" B): 00 02 00 00 00 "), std::string::npos) << view.log[2];
        EXPECT_EQ(view.log[3], "! TCP: Timeout / Antwort zu kurz.");
        EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Fehler", "TCP: Timeout / Antwort zu kurz."}}));
        EXPECT_EQ(view.tables[WidgetId::TcpRegisterList], earlier);
        EXPECT_TRUE(eventually([&] { return peer.requests().size() >= 2; }));
        EXPECT_EQ(peer.connections(), 2);
        EXPECT_EQ(peer.requests().size(), 2u);
        EXPECT_TRUE(state.tcp.connection);
        // Two receive waits of 100 ms and the 50 ms pause; nothing near the 1200 ms default.
        EXPECT_GE(took, std::chrono::milliseconds(245));
        EXPECT_LT(took, std::chrono::milliseconds(2000));
    }
}

TEST(TcpCommandsOnSilentServer, FailedReconnectKeepsTheFirstCodeAndDropsTheConnection)
{
    TcpPeer peer(silent);
    ModbusState state;
    FakeView view;
    view.spins[WidgetId::TcpTimeoutSpin] = 100;
    connectTo(state, view, peer.port());
    waitForConnections(peer, 1);
    peer.stopListening();

    tcpReadCommand(state, view);

    EXPECT_EQ(view.log,
        (Strings {resyncHint, "TX-TCP (12 B): 00 01 00 00 00 06 01 03 00 00 00 02",
            "! TCP: Timeout / Antwort zu kurz."}));
    EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Fehler", "TCP: Timeout / Antwort zu kurz."}}));
    EXPECT_FALSE(state.tcp.connection);
    EXPECT_EQ(view.statusRefreshes, 0);

    view.fakeDialogs.boxes.clear();
    tcpReadCommand(state, view);
    EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Hinweis", "Bitte zuerst TCP verbinden."}}));
}

TEST(TcpCommandsOnScriptedServer, ExceptionAnswerIsReportedWithoutResync)
{
    for (const CommandCase& c : commandCases) {
        SCOPED_TRACE(c.name);
        TcpPeer peer([](const Bytes& request, int) {
            return test::tcpFrame(request, {static_cast<std::uint8_t>(request[7] | 0x80), 0x02});
        });
        ModbusState state;
        FakeView view;
        connectTo(state, view, peer.port());
        c.command(state, view);

        ASSERT_EQ(view.log.size(), 2u);
        EXPECT_EQ(view.log[0].rfind("TX-TCP (", 0), 0u);
        EXPECT_EQ(view.log[1], "! " + c.exceptionMessage);
        EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Fehler", c.exceptionMessage}}));
        ASSERT_EQ(peer.requests().size(), 1u);
        EXPECT_EQ(peer.requests()[0][7], c.functionCode);
        EXPECT_EQ(peer.connections(), 1);
        EXPECT_TRUE(state.tcp.connection);
    }
}

TEST(TcpCommandsOnScriptedServer, HeaderFaultsOutsideTheTriggerSetDoNotReconnect)
{
    struct Case
    {
        const char* name;
        std::function<Bytes(const Bytes&)> answer;
        std::string message;
    };
    const Case cases[] = {
        {"protocol identifier 1",
            [](const Bytes& request) {
                Bytes frame = test::tcpRegisterMapAnswer(request);
                frame[3] = 1;
                return frame;
            },
            "TCP: ProtocolID ungleich 0."},
        {"MBAP length 0",
            [](const Bytes& request) {
                return Bytes {request[0], request[1], 0, 0, 0, 0, request[6]};
            },
            "TCP: MBAP-Länge unplausibel."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TcpPeer peer([&c](const Bytes& request, int) { return c.answer(request); });
        ModbusState state;
        FakeView view;
        connectTo(state, view, peer.port());
        tcpReadCommand(state, view);

        EXPECT_EQ(view.log,
            (Strings {"TX-TCP (12 B): 00 01 00 00 00 06 01 03 00 00 00 02", "! " + c.message}));
        EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Fehler", c.message}}));
        EXPECT_EQ(peer.connections(), 1);
        EXPECT_TRUE(state.tcp.connection);
    }
}

TEST(TcpCommandsOnScriptedServer, RetryAfterResyncCanSucceed)
{
    for (const CommandCase& c : commandCases) {
        SCOPED_TRACE(c.name);
        // The first connection answers with exception code 7 (a stream out of step); the
        // second one answers correctly.
        TcpPeer peer([](const Bytes& request, int connection) {
            return connection == 0
                ? test::tcpFrame(request, {static_cast<std::uint8_t>(request[7] | 0x80), 0x07})
                : test::tcpRegisterMapAnswer(request);
        });
        ModbusState state;
        FakeView view;
        connectTo(state, view, peer.port());
        c.command(state, view);

        ASSERT_EQ(view.log.size(), 5u);
        EXPECT_EQ(view.log[0], resyncHint);
        EXPECT_EQ(view.log[1], c.retryLine);
        EXPECT_NE(view.log[2].find(" B): 00 02 00 00 00 "), std::string::npos) << view.log[2];
        EXPECT_EQ(view.log[3].rfind("RX-TCP (", 0), 0u) << view.log[3];
        EXPECT_NE(view.log[3].find(" B): 00 02 00 00 00 "), std::string::npos) << view.log[3];
        EXPECT_EQ(view.log[4].rfind("OK: FC", 0), 0u) << view.log[4];
        EXPECT_TRUE(view.fakeDialogs.boxes.empty());
        EXPECT_EQ(peer.connections(), 2);
    }
}

TEST(TcpCommandsOnScriptedServer, UnitIdentifierIsTheOneTheSerialSideLastTook)
{
    TcpPeer peer([](const Bytes& request, int) { return test::tcpRegisterMapAnswer(request); });
    ModbusState state;
    FakeView view;
    state.slaveId = 5;
    view.spins[WidgetId::SlaveIdSpin] = 9; // not read by the TCP commands
    connectTo(state, view, peer.port());
    tcpReadCommand(state, view);

    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(peer.requests()[0][6], 5);
    EXPECT_EQ(view.log.back(), "OK: FC03 – 2 Register ab 0x0000 (0)");
}

} // namespace
} // namespace kalvenor
