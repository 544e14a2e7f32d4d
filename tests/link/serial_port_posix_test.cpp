#include "link/serial_port_posix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <termios.h>
#include <vector>

namespace kalvenor {
namespace {

SerialPortConfig configWith(
    std::int64_t baud, int parity, int dataBits, float stopBits, int handshake)
{
    SerialPortConfig config;
    config.name = "/dev/null";
    config.baudRate = baud;
    config.parity = parity;
    config.dataBits = dataBits;
    config.stopBits = stopBits;
    config.handshake = handshake;
    return config;
}

struct TermiosCase
{
    const char* label;
    SerialPortConfig config;
    speed_t speed;
    tcflag_t size;
    bool parityOn;
    bool parityOdd;
    bool twoStops;
    bool rtsCts;
    bool xonXoff;
};

TEST(SerialTermios, EachSettingMapsToItsFlagsInRawMode)
{
    // clang-format off
        const TermiosCase cases[] = {
            {"defaults",      configWith(9600, 0, 8, 1.0f, HandshakeNone),          B9600,   CS8, false, false, false, false, false},
            {"odd 7E2-ish",   configWith(1200, 1, 7, 2.0f, HandshakeNone),          B1200,   CS7, true,  true,  true,  false, false},
            {"even rts/cts",  configWith(115200, 2, 8, 1.0f, HandshakeRtsCts),      B115200, CS8, true,  false, false, true,  false},
            {"xon/xoff",      configWith(19200, 0, 7, 1.0f, HandshakeXonXoff),      B19200,  CS7, false, false, false, false, true},
            {"rts held",      configWith(38400, 2, 8, 2.0f, HandshakeRtsActive),    B38400,  CS8, true,  false, true,  false, false},
            {"dtr+rts held",  configWith(57600, 1, 8, 1.0f, HandshakeDtrRtsActive), B57600,  CS8, true,  true,  false, false, false},
            {"2400",          configWith(2400, 0, 8, 1.0f, HandshakeNone),          B2400,   CS8, false, false, false, false, false},
            {"4800",          configWith(4800, 0, 8, 1.0f, HandshakeNone),          B4800,   CS8, false, false, false, false, false},
        };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        termios tio {};
        // Start from a cooked-looking state so leftovers would show.
        tio.c_iflag = ICRNL | IXON | IXANY | ISTRIP;
        tio.c_oflag = OPOST | ONLCR;
        tio.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
        tio.c_cflag = CS5 | PARENB | CSTOPB | CRTSCTS;
        ASSERT_TRUE(serialTermiosFor(c.config, tio));

        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        EXPECT_EQ(cfgetispeed(&tio), c.speed);
        EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
        EXPECT_EQ((tio.c_cflag & PARENB) != 0, c.parityOn);
        if (c.parityOn) {
            EXPECT_EQ((tio.c_cflag & PARODD) != 0, c.parityOdd);
        }
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStops);
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.rtsCts);
        EXPECT_EQ((tio.c_iflag & IXON) != 0, c.xonXoff);
        EXPECT_EQ((tio.c_iflag & IXOFF) != 0, c.xonXoff);
        if (c.xonXoff) {
            EXPECT_EQ(tio.c_cc[VSTART], 0x11);
            EXPECT_EQ(tio.c_cc[VSTOP], 0x13);
        }
        // Raw: nothing may swallow or rewrite 0x03, 0x0D, 0x11, 0x13 unless asked to.
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXANY), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 0);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
    }
}

TEST(SerialTermios, SettingsWithoutATermiosFormAreRefused)
{
    // clang-format off
        const std::pair<const char*, SerialPortConfig> cases[] = {
            {"rate 12345",     configWith(12345, 0, 8, 1.0f, HandshakeNone)},
            {"rate 0",         configWith(0, 0, 8, 1.0f, HandshakeNone)},
            {"rate -9600",     configWith(-9600, 0, 8, 1.0f, HandshakeNone)},
            {"9 data bits",    configWith(9600, 0, 9, 1.0f, HandshakeNone)},
            {"4 data bits",    configWith(9600, 0, 4, 1.0f, HandshakeNone)},
            {"parity 3",       configWith(9600, 3, 8, 1.0f, HandshakeNone)},
            {"parity -1",      configWith(9600, -1, 8, 1.0f, HandshakeNone)},
            {"1.5 stop bits",  configWith(9600, 0, 8, 1.5f, HandshakeNone)},
            {"0 stop bits",    configWith(9600, 0, 8, 0.0f, HandshakeNone)},
            {"handshake 5",    configWith(9600, 0, 8, 1.0f, 5)},
            {"handshake -1",   configWith(9600, 0, 8, 1.0f, -1)},
        };
    // clang-format on
    for (const auto& [label, config] : cases) {
        SCOPED_TRACE(label);
        termios tio {};
        EXPECT_FALSE(serialTermiosFor(config, tio));
    }
}

// A fake /sys/class/tty: entries whose device/driver links point into a drivers folder.
class FakeSysfs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kalvenor-sysfs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        std::filesystem::create_directories(root / "class/tty");
        std::filesystem::create_directories(root / "dev");
        for (const char* driver : {"ftdi_sio", "cdc_acm", "serial8250", "port", "pl011"})
            std::filesystem::create_directories(root / "drivers" / driver);
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    void addPort(const std::string& name, const std::string& driver)
    {
        const auto device = root / "class/tty" / name / "device";
        std::filesystem::create_directories(device);
        std::filesystem::create_symlink(root / "drivers" / driver, device / "driver");
    }
    void addEntryWithoutDriver(const std::string& name, bool withDeviceDir)
    {
        std::filesystem::create_directories(
            withDeviceDir ? root / "class/tty" / name / "device" : root / "class/tty" / name);
    }
    std::vector<std::string> scan()
    {
        return serialCandidateNamesIn((root / "class/tty").string(), (root / "dev").string());
    }
    std::string dev(const std::string& name) const { return (root / "dev" / name).string(); }

    std::filesystem::path root;
};

TEST_F(FakeSysfs, DriverBackedPortsInNaturalOrderGroupedByPrefix)
{
    addPort("ttyUSB10", "ftdi_sio");
    addPort("ttyUSB2", "ftdi_sio");
    addPort("ttyACM1", "cdc_acm");
    addPort("ttyUSB0", "ftdi_sio");
    addPort("ttyACM0", "cdc_acm");
    addPort("ttyAMA0", "pl011");
    addEntryWithoutDriver("tty0", false); // virtual console
    addEntryWithoutDriver("tty12", false);
    addEntryWithoutDriver("ptmx", false);
    addEntryWithoutDriver("console", true); // a device folder but no driver bound
    const std::vector<std::string> expected = {dev("ttyACM0"), dev("ttyACM1"), dev("ttyAMA0"),
        dev("ttyUSB0"), dev("ttyUSB2"), dev("ttyUSB10")};
    EXPECT_EQ(scan(), expected);
}

TEST_F(FakeSysfs, Uart8250SlotsWithoutADetectedUartAreLeftOut)
{
    // Neither slot has a device node that answers TIOCGSERIAL with a UART type, like the
    // phantom ttyS ports of a PC; both driver namings of the 8250 ports are covered.
    for (int i = 0; i < 32; ++i)
        addPort("ttyS" + std::to_string(i), i % 2 == 0 ? "serial8250" : "port");
    addPort("ttyUSB0", "ftdi_sio");
    // A node that exists but is no UART (a regular file) does not pass either.
    std::FILE* node = std::fopen(dev("ttyS3").c_str(), "w");
    ASSERT_NE(node, nullptr);
    std::fclose(node);
    EXPECT_EQ(scan(), std::vector<std::string> {dev("ttyUSB0")});
}

TEST_F(FakeSysfs, AtMostSixtyFourNamesTheLowestFirst)
{
    for (int i = 70; i-- > 0;)
        addPort("ttyUSB" + std::to_string(i), "ftdi_sio");
    const auto names = scan();
    ASSERT_EQ(names.size(), 64u);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(names[static_cast<std::size_t>(i)], dev("ttyUSB" + std::to_string(i)));
}

TEST_F(FakeSysfs, MissingTreeGivesNoNames)
{
    EXPECT_TRUE(serialCandidateNamesIn((root / "nowhere").string(), "/dev").empty());
    EXPECT_TRUE(scan().empty());
}

} // namespace
} // namespace kalvenor
