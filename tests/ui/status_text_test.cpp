#include "ui/status_text.h"

#include "tests/support/silent_port.h"

#include <gtest/gtest.h>

namespace kalvenor {
namespace {

// Stands for an open connection: the texts only ask whether one is there.
class OpenConnection : public TcpConnection
{
public:
    std::int64_t send(const std::uint8_t*, std::size_t n) override
    {
        return static_cast<std::int64_t>(n);
    }
    std::int64_t receive(std::uint8_t*, std::size_t, std::int64_t) override { return 0; }
};

struct RtuCase
{
    std::string port;
    std::int64_t baud;
    int dataBits;
    int parity;
    float stopBits;
    std::string expected;
};

TEST(StatusText, RtuTextShowsPortAndFrameSettings)
{
    const RtuCase cases[] = {
        {"COM3", 9600, 8, 0, 1.0f, "RTU: verbunden (COM3 @ 9600 8N1)"},
        {"COM3", 19200, 7, 2, 2.0f, "RTU: verbunden (COM3 @ 19200 7E2)"},
        {"/dev/ttyUSB0", 115200, 8, 1, 1.0f, "RTU: verbunden (/dev/ttyUSB0 @ 115200 8O1)"},
        // A value that is neither none nor even counts as odd; 1.5 stop bits show as 1.
        {"COM1", 1200, 8, 7, 1.5f, "RTU: verbunden (COM1 @ 1200 8O1)"},
        // The name is shown as stored, trailing blank included.
        {"COM3 ", 9600, 8, 0, 1.0f, "RTU: verbunden (COM3  @ 9600 8N1)"},
    };
    for (const RtuCase& c : cases) {
        SerialSettings serial;
        serial.handle = std::make_unique<test::SilentSerialPort>();
        serial.portName = c.port;
        serial.baudRate = c.baud;
        serial.dataBits = c.dataBits;
        serial.parity = c.parity;
        serial.stopBits = c.stopBits;
        EXPECT_EQ(rtuStatusText(serial), c.expected) << c.expected;
    }
}

TEST(StatusText, ClosedLinksShowDisconnectedWhateverTheSettings)
{
    SerialSettings serial;
    serial.portName = "COM9";
    serial.baudRate = 57600;
    EXPECT_EQ(rtuStatusText(serial), "RTU: getrennt");
    TcpSettings tcp;
    tcp.host = "10.0.0.1";
    EXPECT_EQ(tcpStatusText(tcp), "TCP: getrennt");
}

TEST(StatusText, TcpTextShowsHostAndPortAsStored)
{
    TcpSettings tcp;
    tcp.connection = std::make_unique<OpenConnection>();
    EXPECT_EQ(tcpStatusText(tcp), "TCP: verbunden (127.0.0.1:502)");
    tcp.host = " plc.local";
    tcp.port = 1502;
    EXPECT_EQ(tcpStatusText(tcp), "TCP: verbunden ( plc.local:1502)");
}

} // namespace
} // namespace kalvenor
