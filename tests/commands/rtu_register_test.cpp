// The RTU register commands over a pty pair: the test plays the device (scripted replies for
// exact frames and malformed answers, the libmodbus demo device for ordinary ones).
#include "commands/register_commands.h"
#include "demo/demo_device.h"
#include "link/serial_commands.h"
#include "link/tcp_commands.h"
#include "tests/commands/peers.h"
#include "tests/support/fake_view.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace kalvenor {
namespace {

using test::Bytes;
using test::FakeDialogs;
using test::FakeView;
using test::PtyPair;
using test::RtuDevice;
using Boxes = std::vector<FakeDialogs::Box>;
using Strings = std::vector<std::string>;

Bytes silentDevice(const Bytes&) { return {}; }

class RtuCommands : public ::testing::Test
{
protected:
    RtuCommands() { open(pty.devicePath()); }

    void open(const std::string& path)
    {
        view.texts[WidgetId::RtuPortCombo] = path;
        serialConnect(state, view);
        if (!state.serial.handle)
            ADD_FAILURE() << "could not open " << path;
        view.log.clear();
    }

    // Log lines after the first n.
    Strings logFrom(std::size_t n) const
    {
        return Strings(view.log.begin() + static_cast<std::ptrdiff_t>(std::min(n, view.log.size())),
            view.log.end());
    }

    PtyPair pty;
    ModbusState state;
    FakeView view;
};

TEST_F(RtuCommands, ReadWalkThroughFromButtonToTable)
{
    RtuDevice device(pty, [](const Bytes& request) {
        return request == Bytes {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}
            ? Bytes {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E}
            : Bytes {};
    });
    rtuReadCommand(state, view);

    EXPECT_EQ(view.log,
        (Strings {"TX (8 B): 01 03 00 00 00 02 C4 0B", "RX (9 B): 01 03 04 00 0A 00 14 DA 3E",
            "OK: FC03 – 2 Register ab 0x0000 (0)"}));
    EXPECT_EQ(view.tables[WidgetId::RtuRegisterList],
        (std::vector<RegisterRow> {
            {"0x0000", "0", "$000A", "10"}, {"0x0001", "1", "$0014", "20"}}));
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
    EXPECT_EQ(device.requests().size(), 1u);
}

TEST_F(RtuCommands, ReadFieldsAreConvertedThenTheCountChecked)
{
    RtuDevice device(pty, test::rtuRegisterMapAnswer);
    struct Case
    {
        const char* start;
        const char* count;
        int type; // RtuReadTypeCombo position
        std::uint8_t slave;
        Bytes request; // without CRC; empty when nothing may be sent
        std::string success;
    };
    // clang-format off
    const Case cases[] = {
        {"0", "0", 0, 1, {}, ""},
        {"0", "126", 0, 1, {}, ""},
        {"0", "abc", 0, 1, {}, ""},
        {"16", "2", 0, 1, {0x01, 0x03, 0x00, 0x10, 0x00, 0x02}, "OK: FC03 – 2 Register ab 0x0010 (16)"},
        {"0", "0x7D", 0, 1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x7D}, "OK: FC03 – 125 Register ab 0x0000 (0)"},
        {"0", "65537", 0, 1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, "OK: FC03 – 1 Register ab 0x0000 (0)"},
        {" 0x10 ", "1", 1, 1, {0x01, 0x04, 0x00, 0x10, 0x00, 0x01}, "OK: FC04 – 1 Register ab 0x0010 (16)"},
        {"-1", "1", 0, 17, {0x11, 0x03, 0xFF, 0xFF, 0x00, 0x01}, "OK: FC03 – 1 Register ab 0xFFFF (65535)"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("start ") + c.start + ", count " + c.count);
        view.log.clear();
        view.fakeDialogs.boxes.clear();
        view.texts[WidgetId::RtuReadStartField] = c.start;
        view.texts[WidgetId::RtuReadCountField] = c.count;
        view.indexes[WidgetId::RtuReadTypeCombo] = c.type;
        view.spins[WidgetId::SlaveIdSpin] = c.slave;
        const std::size_t sentBefore = device.requests().size();
        rtuReadCommand(state, view);

        if (c.request.empty()) {
            EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Hinweis", "Anzahl muss 1..125 sein."}}));
            EXPECT_TRUE(view.log.empty());
            EXPECT_EQ(device.requests().size(), sentBefore);
            continue;
        }
        ASSERT_EQ(device.requests().size(), sentBefore + 1);
        EXPECT_EQ(device.requests().back(), test::withCrc(c.request));
        ASSERT_EQ(view.log.size(), 3u);
        EXPECT_EQ(view.log[2], c.success);
        EXPECT_TRUE(view.fakeDialogs.boxes.empty());
    }
}

TEST_F(RtuCommands, ReadFromTheLastAddressWrapsToZeroInTheTable)
{
    RtuDevice device(pty, [](const Bytes& request) {
        EXPECT_EQ(request, test::withCrc({0x01, 0x03, 0xFF, 0xFF, 0x00, 0x02}));
        return test::withCrc({0x01, 0x03, 0x04, 0xFF, 0xFF, 0x00, 0x07});
    });
    view.texts[WidgetId::RtuReadStartField] = "65535";
    rtuReadCommand(state, view);

    EXPECT_EQ(view.tables[WidgetId::RtuRegisterList],
        (std::vector<RegisterRow> {
            {"0xFFFF", "65535", "$FFFF", "65535"}, {"0x0000", "0", "$0007", "7"}}));
    EXPECT_EQ(view.log.back(), "OK: FC03 – 2 Register ab 0xFFFF (65535)");
}

TEST_F(RtuCommands, SilentDeviceFailsAfterTheReceiveTimeoutAndKeepsTheTable)
{
    RtuDevice device(pty, silentDevice);
    const std::vector<RegisterRow> earlier = {{"0x0005", "5", "$0001", "1"}};
    view.tables[WidgetId::RtuRegisterList] = earlier;
    view.spins[WidgetId::RtuTimeoutSpin] = 50;

    const auto begin = std::chrono::steady_clock::now();
    rtuReadCommand(state, view);
    const auto took = std::chrono::steady_clock::now() - begin;

    EXPECT_EQ(view.log,
        (Strings {"TX (8 B): 01 03 00 00 00 02 C4 0B", "! Antwort zu kurz / Timeout (FC03/04)."}));
    EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Fehler", "Antwort zu kurz / Timeout (FC03/04)."}}));
    EXPECT_EQ(view.tables[WidgetId::RtuRegisterList], earlier);
    EXPECT_GE(took, std::chrono::milliseconds(45));
    EXPECT_LT(took, std::chrono::seconds(1));
}

TEST_F(RtuCommands, ExceptionReplyIsReportedWithoutRetry)
{
    RtuDevice device(pty, [](const Bytes&) { return Bytes {0x01, 0x83, 0x02, 0xC0, 0xF1}; });
    view.spins[WidgetId::RtuTimeoutSpin] = 50;
    rtuReadCommand(state, view);

    EXPECT_EQ(view.log,
        (Strings {
            "TX (8 B): 01 03 00 00 00 02 C4 0B", "! Modbus-Exception: ILLEGAL DATA ADDRESS (02)"}));
    EXPECT_EQ(view.fakeDialogs.boxes,
        (Boxes {{"Fehler", "Modbus-Exception: ILLEGAL DATA ADDRESS (02)"}}));
    EXPECT_TRUE(pty.receiveFor(100).empty());
    EXPECT_EQ(device.requests().size(), 1u);
}

TEST_F(RtuCommands, EveryCommandNeedsAnOpenPort)
{
    serialDisconnect(state, view);
    view.log.clear();
    view.texts[WidgetId::RtuReadCountField] = "0"; // the port check comes before any other
    view.texts[WidgetId::RtuWriteValuesField] = "";
    for (auto command : {rtuReadCommand, rtuWriteSingleCommand, rtuWriteMultipleCommand}) {
        view.fakeDialogs.boxes.clear();
        command(state, view);
        EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Hinweis", "Bitte zuerst den Port öffnen."}}));
    }
    EXPECT_TRUE(view.log.empty());
    EXPECT_TRUE(pty.receiveFor(50).empty());
}

TEST_F(RtuCommands, WriteSingleConvertsAddressAndValueAndLogsTheExchange)
{
    RtuDevice device(pty, test::rtuRegisterMapAnswer);
    struct Case
    {
        const char* address;
        const char* value;
        Bytes request; // without CRC
        std::string success;
    };
    // clang-format off
    const Case cases[] = {
        {"0x10", "0xFF", {0x01, 0x06, 0x00, 0x10, 0x00, 0xFF}, "OK: FC06 – Reg 0x0010 (16) := $00FF (255)"},
        {"1", "-1", {0x01, 0x06, 0x00, 0x01, 0xFF, 0xFF}, "OK: FC06 – Reg 0x0001 (1) := $FFFF (65535)"},
        {"", "70000", {0x01, 0x06, 0x00, 0x00, 0x11, 0x70}, "OK: FC06 – Reg 0x0000 (0) := $1170 (4464)"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.address) + " := " + c.value);
        view.log.clear();
        view.texts[WidgetId::RtuWriteAddressField] = c.address;
        view.texts[WidgetId::RtuWriteValueField] = c.value;
        rtuWriteSingleCommand(state, view);

        const Bytes frame = test::withCrc(c.request);
        ASSERT_FALSE(device.requests().empty());
        EXPECT_EQ(device.requests().back(), frame);
        EXPECT_EQ(view.log,
            (Strings {"TX (8 B): " + hexBytes(frame.data(), 8),
                "RX (8 B): " + hexBytes(frame.data(), 8), c.success}));
    }
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
}

TEST_F(RtuCommands, WriteSingleExceptionIsReported)
{
    RtuDevice device(pty, [](const Bytes&) { return test::withCrc({0x01, 0x86, 0x07}); });
    view.spins[WidgetId::RtuTimeoutSpin] = 50;
    rtuWriteSingleCommand(state, view);

    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[1], "! Modbus-Exception (FC06): EXC 7");
    EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Fehler", "Modbus-Exception (FC06): EXC 7"}}));
    EXPECT_EQ(device.requests().size(), 1u);
}

TEST_F(RtuCommands, WriteMultipleOfThreeValuesLogsRequestReplyAndListing)
{
    RtuDevice device(pty, [](const Bytes& request) {
        return request
                == Bytes {0x01, 0x10, 0x00, 0x00, 0x00, 0x03, 0x06, 0x00, 0x0A, 0x00, 0x14, 0x00,
                    0x1E, 0xBE, 0x8D}
            ? Bytes {0x01, 0x10, 0x00, 0x00, 0x00, 0x03, 0x80, 0x08}
            : Bytes {};
    });
    rtuWriteMultipleCommand(state, view);

    EXPECT_EQ(view.log,
        (Strings {"TX (15 B): 01 10 00 00 00 03 06 00 0A 00 14 00 1E BE 8D",
            "RX (8 B): 01 10 00 00 00 03 80 08", "OK: FC16 – 3 Register ab 0x0000 (0)",
            "    0x0000 (0) = $000A (10), 0x0001 (1) = $0014 (20), 0x0002 (2) = $001E (30)"}));
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
}

// The listing for values 1..count written from start, six items a line.
Strings expectedListing(unsigned start, unsigned count)
{
    Strings lines;
    std::string line;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned address = (start + i) & 0xFFFF;
        const unsigned value = i + 1;
        char item[64];
        std::snprintf(
            item, sizeof item, "0x%04X (%u) = $%04X (%u)", address, address, value, value);
        line += (i % 6 == 0 ? "    " : ", ") + std::string(item);
        if (i % 6 == 5 || i + 1 == count) {
            lines.push_back(line);
            line.clear();
        }
    }
    return lines;
}

TEST(RtuWriteMultipleOnADevice, ListsSixValuesALineAndSendsUpTo123)
{
    // The libmodbus demo device checks the requests independently of our own frame code.
    demo::DemoDevice device;
    std::string error;
    ASSERT_TRUE(device.startRtu(error)) << error;
    ModbusState state;
    FakeView view;
    view.texts[WidgetId::RtuPortCombo] = device.rtuPath();
    serialConnect(state, view);
    ASSERT_TRUE(state.serial.handle);

    struct Case
    {
        unsigned start;
        unsigned count;
        std::size_t listingLines;
    };
    for (const Case& c : {Case {100, 7, 2}, Case {200, 12, 2}, Case {1000, 123, 21}}) {
        SCOPED_TRACE("count " + std::to_string(c.count));
        std::string values;
        for (unsigned i = 0; i < c.count; ++i)
            values += (i ? "," : "") + std::to_string(i + 1);
        view.texts[WidgetId::RtuWriteStartField] = std::to_string(c.start);
        view.texts[WidgetId::RtuWriteValuesField] = values;
        view.log.clear();
        rtuWriteMultipleCommand(state, view);

        ASSERT_EQ(view.log.size(), 3 + c.listingLines) << (view.log.empty() ? "" : view.log.back());
        EXPECT_EQ(
            view.log[0].rfind("TX (" + std::to_string(9 + 2 * c.count) + " B): 01 10 ", 0), 0u)
            << view.log[0];
        EXPECT_EQ(view.log[2],
            "OK: FC16 – " + std::to_string(c.count) + " Register ab 0x"
                + (c.start == 100        ? "0064 (100)"
                        : c.start == 200 ? "00C8 (200)"
                                         : "03E8 (1000)"));
        EXPECT_EQ(Strings(view.log.begin() + 3, view.log.end()), expectedListing(c.start, c.count));
        for (unsigned i = 0; i < c.count; ++i)
            ASSERT_EQ(device.holdingRegister(static_cast<int>(c.start + i)), i + 1)
                << "register " << c.start + i;
    }
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
}

TEST_F(RtuCommands, WriteMultipleFromTheLastAddressListsTheWrappedAddress)
{
    RtuDevice device(pty, test::rtuRegisterMapAnswer);
    view.texts[WidgetId::RtuWriteStartField] = "65535";
    view.texts[WidgetId::RtuWriteValuesField] = "1 2";
    rtuWriteMultipleCommand(state, view);

    ASSERT_EQ(device.requests().size(), 1u);
    EXPECT_EQ(device.requests()[0],
        test::withCrc({0x01, 0x10, 0xFF, 0xFF, 0x00, 0x02, 0x04, 0x00, 0x01, 0x00, 0x02}));
    EXPECT_EQ(view.log.back(), "    0xFFFF (65535) = $0001 (1), 0x0000 (0) = $0002 (2)");
}

TEST_F(RtuCommands, WriteMultipleRejectsEmptyAndOversizedValueLists)
{
    std::string values124;
    for (int i = 0; i < 124; ++i)
        values124 += "1,";
    struct Case
    {
        std::string values;
        std::string hint;
    };
    const Case cases[] = {
        {"", "Bitte Werte angeben (z. B. 10,20,30)."},
        {"   ", "Bitte Werte angeben (z. B. 10,20,30)."},
        {",;,", "Anzahl Werte muss 1..123 sein."},
        {values124, "Anzahl Werte muss 1..123 sein."},
    };
    for (const Case& c : cases) {
        view.fakeDialogs.boxes.clear();
        view.texts[WidgetId::RtuWriteValuesField] = c.values;
        rtuWriteMultipleCommand(state, view);
        EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Hinweis", c.hint}})) << "[" << c.values << "]";
    }
    EXPECT_TRUE(view.log.empty());
    EXPECT_TRUE(pty.receiveFor(50).empty());
}

TEST_F(RtuCommands, WriteMultipleDrainsAndRetriesOnceAfterAnInvalidExceptionCode)
{
    // First answer: exception code 7, which no device sends; then a correct reply.
    int answered = 0;
    RtuDevice device(pty, [&answered](const Bytes& request) {
        return answered++ == 0 ? test::withCrc({0x01, 0x90, 0x07})
                               : test::withCrc(Bytes(request.begin(), request.begin() + 6));
    });
    view.spins[WidgetId::RtuTimeoutSpin] = 50;
    rtuWriteMultipleCommand(state, view);

    const std::vector<Bytes> requests = device.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], requests[1]);
    EXPECT_EQ(view.log,
        (Strings {"TX (15 B): 01 10 00 00 00 03 06 00 0A 00 14 00 1E BE 8D",
            "Hinweis: RTU-Stream neu synchronisieren – RX spülen & einmal erneut senden...",
            "RX (8 B): 01 10 00 00 00 03 80 08", "OK: FC16 – 3 Register ab 0x0000 (0)",
            "    0x0000 (0) = $000A (10), 0x0001 (1) = $0014 (20), 0x0002 (2) = $001E (30)"}));
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
}

TEST_F(RtuCommands, WriteMultipleRetryThatFailsAgainIsReportedAndNotRetried)
{
    RtuDevice device(pty, [](const Bytes&) { return test::withCrc({0x01, 0x90, 0x07}); });
    view.spins[WidgetId::RtuTimeoutSpin] = 50;
    rtuWriteMultipleCommand(state, view);

    EXPECT_TRUE(pty.receiveFor(100).empty());
    EXPECT_EQ(device.requests().size(), 2u);
    EXPECT_EQ(view.log,
        (Strings {"TX (15 B): 01 10 00 00 00 03 06 00 0A 00 14 00 1E BE 8D",
            "Hinweis: RTU-Stream neu synchronisieren – RX spülen & einmal erneut senden...",
            "! RTU: Ungültiger Exceptioncode – Stream unsynchron."}));
    EXPECT_EQ(view.fakeDialogs.boxes,
        (Boxes {{"Fehler", "RTU: Ungültiger Exceptioncode – Stream unsynchron."}}));
}

TEST_F(RtuCommands, WriteMultipleValidExceptionIsNotRetried)
{
    RtuDevice device(pty, [](const Bytes&) { return test::withCrc({0x01, 0x90, 0x02}); });
    view.spins[WidgetId::RtuTimeoutSpin] = 50;
    rtuWriteMultipleCommand(state, view);

    EXPECT_EQ(device.requests().size(), 1u);
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[1], "! Modbus-Exception (FC16): ILLEGAL DATA ADDRESS (02)");
}

TEST(BothLinks, SerialAndTcpCommandsRunSideBySide)
{
    demo::DemoDevice device;
    std::string error;
    ASSERT_TRUE(device.startRtu(error)) << error;
    ASSERT_TRUE(device.startTcp("127.0.0.1", 0, error)) << error;
    ModbusState state;
    FakeView view;
    view.texts[WidgetId::RtuPortCombo] = device.rtuPath();
    view.texts[WidgetId::TcpPortField] = std::to_string(device.tcpPort());
    serialConnect(state, view);
    tcpConnect(state, view);
    ASSERT_TRUE(state.serial.handle);
    ASSERT_TRUE(state.tcp.connection);

    view.texts[WidgetId::RtuReadStartField] = "100";
    view.texts[WidgetId::TcpReadStartField] = "200";
    view.texts[WidgetId::TcpWriteAddressField] = "101";
    view.texts[WidgetId::TcpWriteValueField] = "4242";
    tcpWriteSingleCommand(state, view);
    rtuReadCommand(state, view);
    tcpReadCommand(state, view);

    EXPECT_EQ(view.tables[WidgetId::RtuRegisterList],
        (std::vector<RegisterRow> {
            {"0x0064", "100", "$0064", "100"}, {"0x0065", "101", "$1092", "4242"}}));
    EXPECT_EQ(view.tables[WidgetId::TcpRegisterList],
        (std::vector<RegisterRow> {
            {"0x00C8", "200", "$00C8", "200"}, {"0x00C9", "201", "$00C9", "201"}}));
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
    EXPECT_TRUE(state.serial.handle);
    EXPECT_TRUE(state.tcp.connection);
}

} // namespace
} // namespace kalvenor
