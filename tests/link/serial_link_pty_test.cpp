#include "link/serial_link.h"

#include "link/clock.h"
#include "protocol/result_code.h"
#include "tests/support/pty_pair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace kalvenor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::PtyPair;

std::int64_t cpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A second descriptor on the device, opened before Kalvenor takes the port (its TIOCEXCL
// turns later openers away unless they run as root), to see the settings as the device has
// them.
class DevicePeek
{
public:
    explicit DevicePeek(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~DevicePeek()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    DevicePeek(const DevicePeek&) = delete;
    DevicePeek& operator=(const DevicePeek&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    termios settings() const
    {
        termios tio {};
        EXPECT_EQ(tcgetattr(m_fd, &tio), 0);
        return tio;
    }

private:
    int m_fd;
};

class SerialOnPty : public ::testing::Test
{
protected:
    void SetUp() override
    {
        serial.portName = pty.devicePath();
        ASSERT_TRUE(serialOpen(serial));
    }

    // Plays the device: waits for a request of requestLength bytes, then sends reply.
    void answer(std::size_t requestLength, Bytes reply)
    {
        device = std::thread([this, requestLength, reply] {
            seenRequest = pty.receive(requestLength, 2000);
            if (!reply.empty())
                pty.send(reply);
        });
    }
    void TearDown() override
    {
        if (device.joinable())
            device.join();
    }

    std::int64_t exchange(const Bytes& request, std::size_t expected, std::int64_t timeoutMs,
        std::size_t capacity = 513)
    {
        response.assign(capacity, 0);
        const std::int64_t start = monotonicMs();
        const std::int64_t n = serialExchange(
            serial, request.data(), request.size(), expected, response.data(), capacity, timeoutMs);
        elapsedMs = monotonicMs() - start;
        if (device.joinable())
            device.join();
        if (n >= 0)
            response.resize(static_cast<std::size_t>(n));
        return n;
    }

    PtyPair pty;
    SerialSettings serial;
    std::thread device;
    Bytes seenRequest;
    Bytes response;
    std::int64_t elapsedMs = 0;
};

TEST_F(SerialOnPty, ControlBytesPassUntouchedBothWays)
{
    const Bytes raw = {0x03, 0x0D, 0x11, 0x13, 0x0A, 0x00, 0x7F, 0x1A, 0x04, 0xFF};
    answer(raw.size(), raw);
    ASSERT_EQ(exchange(raw, raw.size(), 2000), static_cast<std::int64_t>(raw.size()));
    EXPECT_EQ(seenRequest, raw);
    EXPECT_EQ(response, raw);
}

TEST_F(SerialOnPty, StaleInputIsDrainedBeforeTheRequest)
{
    pty.send({0xAA, 0xBB, 0xCC});
    ASSERT_TRUE(serial.handle->waitReadable(1000));
    sleepMs(20);
    answer(2, {0x01, 0x02, 0x03});
    ASSERT_EQ(exchange({0x10, 0x20}, 3, 2000), 3);
    EXPECT_EQ(response, (Bytes {0x01, 0x02, 0x03}));

    // More stale input than one drain read takes (513 bytes) goes as well.
    pty.send(Bytes(2000, 0x55));
    sleepMs(50);
    answer(1, {0x09});
    ASSERT_EQ(exchange({0x10}, 1, 2000), 1);
    EXPECT_EQ(response, Bytes {0x09});
}

TEST_F(SerialOnPty, SilenceEndsAfterTheTimeOutWithNothing)
{
    ASSERT_EQ(exchange({0x01, 0x03}, 7, 50), 0);
    EXPECT_GE(elapsedMs, 45);
    EXPECT_LT(elapsedMs, 1000);
}

TEST_F(SerialOnPty, ReplyIsTakenAsSoonAsTheExpectedBytesAreIn)
{
    const Bytes reply = {0x01, 0x03, 0x02, 0x00, 0x2A, 0x38, 0x5B};
    answer(8, reply);
    ASSERT_EQ(exchange(Bytes(8, 0x01), reply.size(), 3000), 7);
    EXPECT_EQ(response, reply);
    EXPECT_LT(elapsedMs, 1500); // far below the 3 s time-out
}

TEST_F(SerialOnPty, ReplyInPiecesIsCollectedUntilComplete)
{
    device = std::thread([this] {
        seenRequest = pty.receive(1, 2000);
        pty.send({0x01, 0x03});
        sleepMs(30);
        pty.send({0x04, 0x00});
        sleepMs(30);
        pty.send({0x01, 0x00, 0x02, 0xAB, 0xCD});
    });
    ASSERT_EQ(exchange({0x01}, 9, 2000), 9);
    EXPECT_EQ(response, (Bytes {0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02, 0xAB, 0xCD}));
}

TEST_F(SerialOnPty, LongerReplyIsReturnedWholeButNeverBeyondCapacity)
{
    const Bytes reply = {1, 2, 3, 4, 5, 6, 7, 8};
    answer(1, reply);
    ASSERT_EQ(exchange({0x01}, 3, 2000), 8);
    EXPECT_EQ(response, reply);

    answer(1, reply);
    ASSERT_EQ(exchange({0x01}, 20, 300, 5), 5);
    EXPECT_EQ(response, (Bytes {1, 2, 3, 4, 5}));
    // The rest stayed waiting and is drained by the next exchange.
    answer(1, {0x42});
    ASSERT_EQ(exchange({0x01}, 1, 2000), 1);
    EXPECT_EQ(response, Bytes {0x42});
}

TEST_F(SerialOnPty, WithoutAPortNothingIsWritten)
{
    serialClose(serial);
    EXPECT_EQ(serial.handle, nullptr);
    serialClose(serial); // closing twice is harmless
    EXPECT_EQ(exchange({0x01, 0x03, 0x00}, 5, 50), RC_NO_PORT);
    EXPECT_TRUE(pty.receiveFor(50).empty());
}

TEST_F(SerialOnPty, StoppedOutputMakesTheWriteGiveUpAfterItsTimeOut)
{
    serial.handshake = HandshakeXonXoff;
    serial.writeTimeoutMs = 100;
    serial.writePerByteMs = 1;
    ASSERT_TRUE(serialOpen(serial));
    pty.send({0x13}); // XOFF from the device
    sleepMs(30);
    EXPECT_EQ(exchange({0x01, 0x02, 0x03, 0x04}, 1, 500), RC_SEND_FAILED);
    EXPECT_GE(elapsedMs, 95);
    EXPECT_LT(elapsedMs, 1500);

    pty.send({0x11}); // XON
    sleepMs(30);
    answer(2, {0x07});
    EXPECT_EQ(exchange({0x05, 0x06}, 1, 2000), 1);
}

TEST_F(SerialOnPty, SecondOpenerIsKeptOutUntilTheFirstCloses)
{
    SerialSettings other;
    other.portName = pty.devicePath();
    EXPECT_FALSE(serialOpen(other));
    EXPECT_EQ(other.handle, nullptr);
    serialClose(serial);
    EXPECT_TRUE(serialOpen(other));
    EXPECT_FALSE(serialOpen(serial));
}

TEST_F(SerialOnPty, FailedReopenLeavesNoPortAndFreesTheOldOne)
{
    const std::string good = serial.portName;
    for (const std::string bad : {"COM3", "/dev/kalvenor-no-such-port", "/dev/null", ""}) {
        SCOPED_TRACE(bad);
        ASSERT_TRUE(serialOpen(serial));
        serial.portName = bad;
        EXPECT_FALSE(serialOpen(serial));
        EXPECT_EQ(serial.handle, nullptr);
        serial.portName = good;
    }
    // A rate no termios constant names fails the open as well.
    serial.baudRate = 12345;
    EXPECT_FALSE(serialOpen(serial));
    EXPECT_EQ(serial.handle, nullptr);
    SerialSettings other;
    other.portName = good;
    EXPECT_TRUE(serialOpen(other));
}

struct PortSetting
{
    std::int64_t baud;
    int parity;
    float stopBits;
    int handshake;
    speed_t speed;
};

TEST_F(SerialOnPty, SettingsReachTheDevice)
{
    // A pty keeps the rate, stop bits, flow control and the raw mode it is given; it always
    // reports CS8 without parity, so the framing bits are covered by the termios unit test.
    // clang-format off
        const PortSetting cases[] = {
            {9600,   0, 1.0f, HandshakeNone,         B9600},
            {1200,   1, 2.0f, HandshakeRtsCts,       B1200},
            {115200, 2, 1.0f, HandshakeXonXoff,      B115200},
            {19200,  0, 2.0f, HandshakeRtsActive,    B19200},
            {57600,  0, 1.0f, HandshakeDtrRtsActive, B57600},
        };
    // clang-format on
    serialClose(serial);
    const DevicePeek peek(pty.devicePath());
    ASSERT_TRUE(peek.isOpen());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        serial.baudRate = c.baud;
        serial.parity = c.parity;
        serial.stopBits = c.stopBits;
        serial.handshake = c.handshake;
        ASSERT_TRUE(serialOpen(serial));
        const termios tio = peek.settings();
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        EXPECT_EQ(cfgetispeed(&tio), c.speed);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.stopBits == 2.0f);
        EXPECT_EQ((tio.c_cflag & PARODD) != 0, c.parity == 1);
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.handshake == HandshakeRtsCts);
        EXPECT_EQ((tio.c_iflag & (IXON | IXOFF)) != 0, c.handshake == HandshakeXonXoff);
        if (c.handshake == HandshakeXonXoff) {
            EXPECT_EQ(tio.c_cc[VSTART], 0x11);
            EXPECT_EQ(tio.c_cc[VSTOP], 0x13);
        }
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_iflag & ICRNL, 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    }
}

TEST_F(SerialOnPty, PreviousSettingsComeBackOnClose)
{
    serialClose(serial);
    const DevicePeek peek(pty.devicePath());
    ASSERT_TRUE(peek.isOpen());
    termios before = peek.settings();
    before.c_lflag |= ICANON | ECHO;
    before.c_iflag |= ICRNL;
    before.c_oflag |= OPOST | ONLCR;
    before.c_cflag |= CSTOPB;
    cfsetospeed(&before, B2400);
    cfsetispeed(&before, B2400);
    ASSERT_EQ(tcsetattr(peek.fd(), TCSANOW, &before), 0);
    before = peek.settings();

    serial.baudRate = 115200;
    serial.stopBits = 1.0f;
    ASSERT_TRUE(serialOpen(serial));
    const termios during = peek.settings();
    EXPECT_EQ(cfgetospeed(&during), B115200);
    EXPECT_EQ(during.c_lflag & ICANON, 0u);
    serialClose(serial);

    const termios after = peek.settings();
    EXPECT_EQ(cfgetospeed(&after), B2400);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
}

// The controller side goes away mid-exchange, as a USB adapter does when it is pulled.
TEST(SerialHangUp, ExchangeEndsWithinItsTimeOutWithoutSpinning)
{
    int controller = -1;
    int device = -1;
    char name[256] = {};
    termios raw {};
    cfmakeraw(&raw);
    ASSERT_EQ(openpty(&controller, &device, name, &raw, nullptr), 0);
    SerialSettings serial;
    serial.portName = name;
    ASSERT_TRUE(serialOpen(serial));

    std::thread peer([&] {
        std::uint8_t request[4];
        std::size_t got = 0;
        while (got < sizeof request) {
            ssize_t n = ::read(controller, request + got, sizeof request - got);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        sleepMs(20);
        ::close(controller);
        ::close(device);
    });

    const Bytes request = {0x01, 0x03, 0x00, 0x00};
    std::uint8_t response[64];
    const std::int64_t cpuStart = cpuMs();
    const std::int64_t start = monotonicMs();
    const std::int64_t n
        = serialExchange(serial, request.data(), request.size(), 7, response, sizeof response, 500);
    const std::int64_t elapsed = monotonicMs() - start;
    const std::int64_t cpu = cpuMs() - cpuStart;
    peer.join();

    EXPECT_EQ(n, 0);
    EXPECT_GE(elapsed, 450);
    EXPECT_LT(elapsed, 2000);
    // Pausing costs a few ms of CPU over the 500 ms; a spinning loop takes a large share of
    // them even on a loaded machine.
    EXPECT_LT(cpu, 80) << "the exchange kept a core busy after the hang-up";

    // The gone device no longer takes a request.
    EXPECT_EQ(
        serialExchange(serial, request.data(), request.size(), 7, response, sizeof response, 100),
        RC_SEND_FAILED);
    serialClose(serial);
}

} // namespace
} // namespace kalvenor
