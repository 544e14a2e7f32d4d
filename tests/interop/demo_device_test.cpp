// The demo device checked with libmodbus's own client, so that the transaction tests beside it
// rest on a device known to answer like a real one.
#include "demo/demo_device.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using kalvenor::demo::DemoDevice;

// A libmodbus client context that frees itself.
struct Client
{
    modbus_t* ctx = nullptr;
    explicit Client(modbus_t* c)
        : ctx(c)
    {
    }
    ~Client()
    {
        if (ctx) {
            modbus_close(ctx);
            modbus_free(ctx);
        }
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
};

class DemoDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(device.startTcp("127.0.0.1", 0, error)) << error;
        ASSERT_TRUE(device.startRtu(error)) << error;
    }

    Client tcpClient()
    {
        Client c(modbus_new_tcp("127.0.0.1", device.tcpPort()));
        modbus_set_slave(c.ctx, 1);
        EXPECT_EQ(modbus_connect(c.ctx), 0) << modbus_strerror(errno);
        return Client(std::exchange(c.ctx, nullptr));
    }

    Client rtuClient(int responseTimeoutMs = 500)
    {
        Client c(modbus_new_rtu(device.rtuPath().c_str(), 115200, 'N', 8, 1));
        modbus_set_slave(c.ctx, 1);
        modbus_set_response_timeout(c.ctx, 0, static_cast<std::uint32_t>(responseTimeoutMs) * 1000);
        EXPECT_EQ(modbus_connect(c.ctx), 0) << modbus_strerror(errno);
        return Client(std::exchange(c.ctx, nullptr));
    }

    DemoDevice device;
};

struct MapCase
{
    const char* name;
    int function; // 1, 3 or 4
    int address;
    int count;
    int expectedErrno; // 0: the read succeeds
};

// clang-format off
const MapCase mapCases[] = {
    {"holding start",            3, 0,    10,  0},
    {"holding end",              3, 9990, 10,  0},
    {"holding largest read",     3, 9875, 125, 0},
    {"holding past end",         3, 9999, 2,   EMBXILADD},
    {"holding wholly outside",   3, 10000, 1,  EMBXILADD},
    {"input registers",          4, 0,    3,   0},
    {"input past end",           4, 2,    2,   EMBXILADD},
    {"coils are not mapped",     1, 0,    1,   EMBXILADD},
};
// clang-format on

void checkMap(modbus_t* ctx, const char* link)
{
    for (const MapCase& c : mapCases) {
        SCOPED_TRACE(std::string(link) + ": " + c.name);
        std::vector<std::uint16_t> regs(static_cast<std::size_t>(c.count));
        std::vector<std::uint8_t> bits(static_cast<std::size_t>(c.count));
        int rc = c.function == 3 ? modbus_read_registers(ctx, c.address, c.count, regs.data())
            : c.function == 4    ? modbus_read_input_registers(ctx, c.address, c.count, regs.data())
                                 : modbus_read_bits(ctx, c.address, c.count, bits.data());
        if (c.expectedErrno == 0) {
            ASSERT_EQ(rc, c.count) << modbus_strerror(errno);
            if (c.function == 3) {
                for (int i = 0; i < c.count; ++i)
                    EXPECT_EQ(regs[static_cast<std::size_t>(i)], c.address + i);
            }
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(errno, c.expectedErrno) << modbus_strerror(errno);
        }
    }
}

TEST_F(DemoDeviceTest, BothLinksServeTheSameMapAndRefuseAddressesOutsideIt)
{
    EXPECT_GT(device.tcpPort(), 0);
    EXPECT_EQ(device.rtuPath().rfind("/dev/pts/", 0), 0u) << device.rtuPath();
    Client tcp = tcpClient();
    checkMap(tcp.ctx, "tcp");
    Client rtu = rtuClient();
    checkMap(rtu.ctx, "rtu");
}

TEST_F(DemoDeviceTest, WritesOnOneLinkAreReadOnTheOther)
{
    Client tcp = tcpClient();
    Client rtu = rtuClient();
    const std::uint16_t values[] = {0xFFFF, 0x0000, 0x0D0A, 0x1113};
    ASSERT_EQ(modbus_write_registers(tcp.ctx, 500, 4, values), 4) << modbus_strerror(errno);
    ASSERT_EQ(modbus_write_register(rtu.ctx, 9999, 0x0303), 1) << modbus_strerror(errno);

    std::uint16_t back[4] = {};
    ASSERT_EQ(modbus_read_registers(rtu.ctx, 500, 4, back), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(back[i], values[i]);
    ASSERT_EQ(modbus_read_registers(tcp.ctx, 9999, 1, back), 1);
    EXPECT_EQ(back[0], 0x0303);
    EXPECT_EQ(device.holdingRegister(9999), 0x0303);
    EXPECT_EQ(device.holdingRegister(501), 0x0000);
    EXPECT_EQ(device.holdingRegister(504), 504) << "a write must not spill past its quantity";

    EXPECT_EQ(modbus_write_register(tcp.ctx, 10000, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
}

TEST_F(DemoDeviceTest, InputRegistersMoveWhileTheDeviceRuns)
{
    Client tcp = tcpClient();
    std::uint16_t first[3] = {};
    std::uint16_t second[3] = {};
    ASSERT_EQ(modbus_read_input_registers(tcp.ctx, 0, 3, first), 3);
    ASSERT_EQ(modbus_read_input_registers(tcp.ctx, 0, 3, second), 3);
    EXPECT_LE(first[kalvenor::demo::InputUptimeSeconds], 5);
    EXPECT_EQ(second[kalvenor::demo::InputRequestCounter],
        static_cast<std::uint16_t>(first[kalvenor::demo::InputRequestCounter] + 1));
    EXPECT_LE(first[kalvenor::demo::InputSine], 2000);
    // Near t = 0 the wave sits at its mid value.
    EXPECT_NEAR(first[kalvenor::demo::InputSine], 1000, 200);
}

TEST_F(DemoDeviceTest, RtuRequestForAnotherSlaveDoesNotCostTheNextRequest)
{
    Client rtu = rtuClient(150);
    std::uint16_t regs[2] = {};
    modbus_set_slave(rtu.ctx, 2);
    EXPECT_EQ(modbus_read_registers(rtu.ctx, 0, 2, regs), -1) << "slave 2 must stay silent";
    EXPECT_EQ(errno, ETIMEDOUT);
    modbus_set_slave(rtu.ctx, 1);
    ASSERT_EQ(modbus_read_registers(rtu.ctx, 7, 2, regs), 2) << modbus_strerror(errno);
    EXPECT_EQ(regs[0], 7);
    EXPECT_EQ(regs[1], 8);
}

std::uint16_t crc(const std::vector<std::uint8_t>& bytes)
{
    std::uint16_t c = 0xFFFF;
    for (std::uint8_t b : bytes) {
        c ^= b;
        for (int i = 0; i < 8; ++i)
            c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
    }
    return c;
}

std::vector<std::uint8_t> withCrc(std::vector<std::uint8_t> bytes)
{
    std::uint16_t c = crc(bytes);
    bytes.push_back(c & 0xFF);
    bytes.push_back(c >> 8);
    return bytes;
}

// Opens the device's pty path raw, as a master's serial port would be.
int openRaw(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        termios t {};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

std::vector<std::uint8_t> readFor(int fd, int ms)
{
    std::vector<std::uint8_t> got;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0)
            return got;
        pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) > 0) {
            std::uint8_t buf[512];
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                got.insert(got.end(), buf, buf + n);
        }
    }
}

TEST_F(DemoDeviceTest, RtuFramingRecoversFromDamagedAndForeignFrames)
{
    const std::vector<std::uint8_t> read2 = withCrc({0x01, 0x03, 0x00, 0x0A, 0x00, 0x02});
    const std::vector<std::uint8_t> reply2 = withCrc({0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x0B});
    std::vector<std::uint8_t> badCrc = read2;
    badCrc.back() ^= 0xFF;
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> before; // sent, then a pause, then read2
        int pauseMs;
    };
    const Case cases[] = {
        {"nothing before", {}, 0},
        {"a fragment, then silence", {0x01, 0x03, 0x00}, 60},
        {"a damaged frame", badCrc, 60},
        {"an FC16 for slave 5", withCrc({0x05, 0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0x12, 0x34}), 0},
        {"an unknown function for slave 5", withCrc({0x05, 0x41, 0x01}), 60},
    };
    int fd = openRaw(device.rtuPath());
    ASSERT_GE(fd, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.before.empty()) {
            ASSERT_EQ(::write(fd, c.before.data(), c.before.size()),
                static_cast<ssize_t>(c.before.size()));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
        ASSERT_EQ(::write(fd, read2.data(), read2.size()), static_cast<ssize_t>(read2.size()));
        EXPECT_EQ(readFor(fd, 150), reply2);
    }
    ::close(fd);
}

TEST_F(DemoDeviceTest, RtuRefusesWhatItCannotDoAtOnce)
{
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> request;
        std::vector<std::uint8_t> reply;
    };
    const Case cases[] = {
        {"unknown function", withCrc({0x01, 0x41, 0x01}), withCrc({0x01, 0xC1, 0x01})},
        {"read exception status", withCrc({0x01, 0x07}), withCrc({0x01, 0x87, 0x01})},
        {"read of 0 registers", withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x00}),
            withCrc({0x01, 0x83, 0x03})},
        {"write of 124 registers", withCrc({0x01, 0x10, 0x00, 0x00, 0x00, 0x7C, 0x00}),
            withCrc({0x01, 0x90, 0x03})},
    };
    int fd = openRaw(device.rtuPath());
    ASSERT_GE(fd, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(::write(fd, c.request.data(), c.request.size()),
            static_cast<ssize_t>(c.request.size()));
        std::vector<std::uint8_t> got;
        while (got.size() < c.reply.size()
            && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(400)) {
            std::vector<std::uint8_t> more = readFor(fd, 10);
            got.insert(got.end(), more.begin(), more.end());
        }
        EXPECT_EQ(got, c.reply);
        // libmodbus would pause half a second before these answers; the device does not.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    }
    ::close(fd);
}

TEST_F(DemoDeviceTest, PtyStaysUsableAcrossMastersClosingAndReopening)
{
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Client rtu = rtuClient();
        std::uint16_t reg = 0;
        ASSERT_EQ(modbus_read_registers(rtu.ctx, 1234, 1, &reg), 1) << modbus_strerror(errno);
        EXPECT_EQ(reg, 1234);
    }
    // A master that sends and leaves before reading its reply; the next master, which flushes
    // on opening, is served as usual.
    int fd = openRaw(device.rtuPath());
    const std::vector<std::uint8_t> read1 = withCrc({0x01, 0x03, 0x00, 0x01, 0x00, 0x01});
    ASSERT_EQ(::write(fd, read1.data(), read1.size()), static_cast<ssize_t>(read1.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::close(fd);
    Client rtu = rtuClient();
    modbus_flush(rtu.ctx);
    std::uint16_t reg = 0;
    ASSERT_EQ(modbus_read_registers(rtu.ctx, 4321, 1, &reg), 1) << modbus_strerror(errno);
    EXPECT_EQ(reg, 4321);
}

TEST_F(DemoDeviceTest, ServesSeveralTcpClientsAtOnce)
{
    Client a = tcpClient();
    Client b = tcpClient();
    std::uint16_t ra = 0;
    std::uint16_t rb = 0;
    ASSERT_EQ(modbus_read_registers(a.ctx, 11, 1, &ra), 1);
    ASSERT_EQ(modbus_read_registers(b.ctx, 22, 1, &rb), 1);
    EXPECT_EQ(ra, 11);
    EXPECT_EQ(rb, 22);
    // Any unit identifier is answered, as a gateway-less TCP device does.
    modbus_set_slave(a.ctx, 247);
    ASSERT_EQ(modbus_read_registers(a.ctx, 33, 1, &ra), 1) << modbus_strerror(errno);
    EXPECT_EQ(ra, 33);
}

TEST(DemoDeviceLifecycle, StopsPromptlyWithClientsAttachedAndReleasesItsPort)
{
    DemoDevice device;
    std::string error;
    ASSERT_TRUE(device.startTcp("127.0.0.1", 0, error)) << error;
    ASSERT_TRUE(device.startRtu(error)) << error;
    const int port = device.tcpPort();
    const std::string path = device.rtuPath();

    modbus_t* tcp = modbus_new_tcp("127.0.0.1", port);
    ASSERT_EQ(modbus_connect(tcp), 0);
    int pty = openRaw(path);
    ASSERT_GE(pty, 0);
    // A half-sent request on each link.
    const std::uint8_t partialTcp[] = {0x00, 0x01, 0x00, 0x00};
    ASSERT_EQ(::send(modbus_get_socket(tcp), partialTcp, sizeof partialTcp, 0), 4);
    const std::uint8_t partialRtu[] = {0x01, 0x03};
    ASSERT_EQ(::write(pty, partialRtu, sizeof partialRtu), 2);

    auto start = std::chrono::steady_clock::now();
    device.stop();
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_EQ(device.tcpPort(), 0);

    // The listening port is free again: a second device can take it.
    DemoDevice again;
    EXPECT_TRUE(again.startTcp("127.0.0.1", port, error)) << error;
    // A stopped device starts afresh; a running link is not started twice.
    EXPECT_TRUE(device.startTcp("127.0.0.1", 0, error)) << error;
    EXPECT_FALSE(device.startTcp("127.0.0.1", 0, error));

    ::close(pty);
    modbus_close(tcp);
    modbus_free(tcp);
}

TEST(DemoDeviceLifecycle, ReportsAnAddressItCannotBind)
{
    DemoDevice first;
    DemoDevice second;
    std::string error;
    ASSERT_TRUE(first.startTcp("127.0.0.1", 0, error)) << error;
    EXPECT_FALSE(second.startTcp("127.0.0.1", first.tcpPort(), error));
    EXPECT_NE(error.find("Address already in use"), std::string::npos) << error;
    EXPECT_FALSE(second.startTcp("no.such.address", 0, error));
    EXPECT_EQ(second.tcpPort(), 0);
}

} // namespace
