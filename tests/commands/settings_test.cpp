// How the connection widgets become settings, which TCP codes reconnect, and the register table
// cells. No port or socket is opened here.
#include "commands/register_commands.h"
#include "link/serial_commands.h"
#include "link/tcp_commands.h"
#include "tests/support/fake_view.h"

#include <gtest/gtest.h>

namespace kalvenor {
namespace {

using test::FakeView;

TEST(SerialSettingsFromWidgets, ParityPositionsMapToThePortsNumbering)
{
    // The list reads None, Even, Odd while the port counts 0 none, 1 odd, 2 even.
    struct Case
    {
        int position;
        int before;
        int expected;
    };
    for (const Case& c :
        {Case {0, 2, 0}, Case {1, 0, 2}, Case {2, 0, 1}, Case {-1, 1, 1}, Case {-1, 2, 2}}) {
        ModbusState state;
        FakeView view;
        state.serial.parity = c.before;
        view.indexes[WidgetId::ParityCombo] = c.position;
        serialReadSettings(state, view);
        EXPECT_EQ(state.serial.parity, c.expected) << "position " << c.position;
    }
}

TEST(SerialSettingsFromWidgets, DataAndStopBitsTakeTheFirstItemOrElseTheSecond)
{
    struct Case
    {
        int position;
        int dataBits;
        float stopBits;
    };
    for (const Case& c : {Case {0, 7, 1.0f}, Case {1, 8, 2.0f}, Case {-1, 8, 2.0f}}) {
        ModbusState state;
        FakeView view;
        view.indexes[WidgetId::DataBitsCombo] = c.position;
        view.indexes[WidgetId::StopBitsCombo] = c.position;
        serialReadSettings(state, view);
        EXPECT_EQ(state.serial.dataBits, c.dataBits) << "position " << c.position;
        EXPECT_EQ(state.serial.stopBits, c.stopBits) << "position " << c.position;
    }
}

TEST(SerialSettingsFromWidgets, EachHandshakeItemGivesTheFlowControlItsLabelNames)
{
    // None, XON/XOFF, RTS/CTS, DSR/DTR
    const int expected[]
        = {HandshakeNone, HandshakeXonXoff, HandshakeRtsCts, HandshakeDtrRtsActive};
    for (int item = 0; item < 4; ++item) {
        EXPECT_EQ(handshakeModeForItem(item), expected[item]) << "item " << item;
        ModbusState state;
        FakeView view;
        view.indexes[WidgetId::HandshakeCombo] = item;
        serialReadSettings(state, view);
        EXPECT_EQ(state.serial.handshake, expected[item]) << "item " << item;
    }

    ModbusState state;
    FakeView view;
    state.serial.handshake = HandshakeRtsCts;
    view.indexes[WidgetId::HandshakeCombo] = -1; // no selection
    serialReadSettings(state, view);
    EXPECT_EQ(state.serial.handshake, HandshakeRtsCts);
}

TEST(SerialSettingsFromWidgets, NameBaudSlaveAndTimeoutAreCopiedAsTheWidgetsHoldThem)
{
    ModbusState state;
    FakeView view;
    view.texts[WidgetId::RtuPortCombo] = " /dev/ttyUSB0 ";
    view.texts[WidgetId::BaudCombo] = "19200";
    view.spins[WidgetId::SlaveIdSpin] = 0x1F5;
    view.spins[WidgetId::RtuTimeoutSpin] = 1234;
    serialReadSettings(state, view);
    EXPECT_EQ(state.serial.portName, " /dev/ttyUSB0 "); // not trimmed
    EXPECT_EQ(state.serial.baudRate, 19200);
    EXPECT_EQ(state.slaveId, 0xF5); // low 8 bits
    EXPECT_EQ(state.serial.rxTimeoutMs, 1234);

    view.texts[WidgetId::BaudCombo] = "abc";
    serialReadSettings(state, view);
    EXPECT_EQ(state.serial.baudRate, 0);
}

TEST(TcpSettingsFromWidgets, PortUsesThePlainConversionWithoutTheHexPrefixRule)
{
    struct Case
    {
        const char* text;
        std::int64_t port;
    };
    for (const Case& c : {Case {"502", 502}, Case {"502abc", 502}, Case {"$1F6", 502},
             Case {"0x1F6", 0}, Case {"-1", -1}, Case {"abc", 0}, Case {"0", 0}}) {
        ModbusState state;
        FakeView view;
        view.texts[WidgetId::TcpPortField] = c.text;
        tcpReadSettings(state, view);
        EXPECT_EQ(state.tcp.port, c.port) << c.text;
    }
}

TEST(TcpSettingsFromWidgets, HostIsTakenUntrimmedAndTheTimeoutFromItsSpin)
{
    ModbusState state;
    FakeView view;
    view.texts[WidgetId::TcpHostField] = " plc.local";
    view.spins[WidgetId::TcpTimeoutSpin] = 300;
    tcpReadSettings(state, view);
    EXPECT_EQ(state.tcp.host, " plc.local");
    EXPECT_EQ(state.tcp.timeoutMs, 300);
    EXPECT_EQ(state.tcp.connectTimeoutMs, 2000);
}

TEST(TcpResyncTrigger, OnlyALostOrDesynchronisedStreamReconnects)
{
    for (ResultCode code : {RC_TCP_TRANSACTION_ID, RC_TCP_BAD_EXCEPTION, RC_TCP_UNIT_ID,
             RC_TCP_TIMEOUT, RC_TCP_CONNECTION_LOST})
        EXPECT_TRUE(isTcpResyncCode(code)) << code;
    for (ResultCode code : {RC_TCP_PROTOCOL_ID, RC_TCP_MBAP_LENGTH, RC_TCP_NOT_CONNECTED,
             RC_TCP_SEND_FAILED, RC_TCP_FC0304_BYTE_COUNT, RC_TCP_FC06_LENGTH, RC_TCP_FC16_LENGTH,
             RC_EXCEPTION_FC0304 - 2, RC_FC0304_SHORT, RC_RTU_BAD_EXCEPTION, ResultCode {0},
             ResultCode {2}})
        EXPECT_FALSE(isTcpResyncCode(code)) << code;
}

TEST(RegisterRows, ShowAddressAndValueInHexAndUnsignedDecimalWrappingAt65536)
{
    const std::vector<RegisterRow> rows = registerRows(65534, {0x000A, 0xFFFF, 0x1234});
    const std::vector<RegisterRow> expected = {
        {"0xFFFE", "65534", "$000A", "10"},
        {"0xFFFF", "65535", "$FFFF", "65535"},
        {"0x0000", "0", "$1234", "4660"},
    };
    EXPECT_EQ(rows, expected);
    EXPECT_TRUE(registerRows(7, {}).empty());
}

} // namespace
} // namespace kalvenor
