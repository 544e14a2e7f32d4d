// The serial connection and RTU register commands, operated through the real window: the
// libmodbus demo device on its pty for ordinary answers, a scripted device on a pty pair for
// silence and for answers a real device would not give.
#include "demo/demo_device.h"
#include "tests/commands/peers.h"
#include "tests/gui_commands/window_driver.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace kalvenor::test {
namespace {

using Boxes = std::vector<FakeDialogs::Box>;

std::string hex(const Bytes& bytes)
{
    std::string text;
    char digits[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", byte);
        text += digits;
    }
    return text;
}

// A log dump line as the commands write it.
std::string dump(const char* label, const Bytes& bytes)
{
    return std::string(label) + " (" + std::to_string(bytes.size()) + " B): " + hex(bytes);
}

// A second descriptor on the device side of a pty, opened before the program takes the port,
// to see the line settings the port was given.
class LineSettings
{
public:
    explicit LineSettings(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~LineSettings()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    LineSettings(const LineSettings&) = delete;
    LineSettings& operator=(const LineSettings&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    termios now() const
    {
        termios tio {};
        EXPECT_EQ(tcgetattr(m_fd, &tio), 0);
        return tio;
    }

private:
    int m_fd;
};

// The program with the demo device's pty as the one port the start-up scan finds.
class SerialWindowOnDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(device.startRtu(error)) << error;
        path = device.rtuPath();
        peek = std::make_unique<LineSettings>(path);
        ASSERT_TRUE(peek->isOpen());
        running = std::make_unique<RunningWindow>(Strings {path});
        running->showActive();
        driver = std::make_unique<WindowDriver>(*running);
    }

    void connect()
    {
        driver->mark();
        driver->click("ConnectButton");
        ASSERT_EQ(driver->logSinceMark(), Strings {"Port geöffnet: " + path});
        ASSERT_TRUE(running->app->modbus.serial.handle);
    }

    void read(const QString& start, const QString& count)
    {
        driver->type("RtuReadStartField", start);
        driver->type("RtuReadCountField", count);
        driver->mark();
        driver->click("RtuReadButton");
    }

    demo::DemoDevice device;
    std::string path;
    std::unique_ptr<LineSettings> peek;
    std::unique_ptr<RunningWindow> running;
    std::unique_ptr<WindowDriver> driver;
};

TEST_F(SerialWindowOnDevice, ReadWalkThroughFromButtonToTable)
{
    EXPECT_EQ(driver->rtuStatus(), "RTU: getrennt");
    connect();
    EXPECT_EQ(driver->rtuStatus(), "RTU: verbunden (" + path + " @ 9600 8N1)");

    // The device starts with register n holding n; the write tab's start values put 10, 20, 30
    // into registers 0 to 2.
    driver->showTab(RtuWriteTab);
    driver->click("RtuWriteMultipleButton");
    ASSERT_EQ(device.holdingRegister(1), 20);

    driver->showTab(RtuReadTab);
    driver->mark();
    driver->click("RtuReadButton");
    EXPECT_EQ(driver->logSinceMark(),
        (Strings {"TX (8 B): 01 03 00 00 00 02 C4 0B", "RX (9 B): 01 03 04 00 0A 00 14 DA 3E",
            "OK: FC03 – 2 Register ab 0x0000 (0)"}));
    EXPECT_EQ(driver->table("RtuRegisterList"),
        (TableRows {{"0x0000", "0", "$000A", "10", ""}, {"0x0001", "1", "$0014", "20", ""}}));
    EXPECT_TRUE(driver->boxesSinceMark().empty());
    EXPECT_TRUE(driver->table("TcpRegisterList").empty());
}

TEST_F(SerialWindowOnDevice, CountTextIsConvertedThenChecked)
{
    connect();
    read("0", "2");
    const TableRows earlier = driver->table("RtuRegisterList");
    ASSERT_EQ(earlier.size(), 2u);

    for (const char* refused : {"0", "126", "abc"}) {
        SCOPED_TRACE(refused);
        read("0", refused);
        EXPECT_EQ(driver->boxesSinceMark(), (Boxes {{"Hinweis", "Anzahl muss 1..125 sein."}}));
        EXPECT_TRUE(driver->logSinceMark().empty());
        EXPECT_EQ(driver->table("RtuRegisterList"), earlier);
    }

    struct Accepted
    {
        const char* count;
        std::uint16_t quantity;
    };
    for (const Accepted& c : {Accepted {"0x7D", 125}, Accepted {"65537", 1}}) {
        SCOPED_TRACE(c.count);
        read("0", c.count);
        const Strings log = driver->logSinceMark();
        ASSERT_EQ(log.size(), 3u);
        EXPECT_EQ(log[0],
            dump("TX",
                withCrc({0x01, 0x03, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(c.quantity)})));
        EXPECT_EQ(log[1].rfind("RX (" + std::to_string(2 * c.quantity + 5) + " B): 01 03 ", 0), 0u)
            << log[1];
        EXPECT_EQ(log[2], "OK: FC03 – " + std::to_string(c.quantity) + " Register ab 0x0000 (0)");
        const TableRows rows = driver->table("RtuRegisterList");
        ASSERT_EQ(rows.size(), c.quantity);
        const std::string last = std::to_string(c.quantity - 1);
        char hexAddress[8];
        std::snprintf(hexAddress, sizeof hexAddress, "%04X", c.quantity - 1);
        EXPECT_EQ(rows.back(),
            (Strings {
                std::string("0x") + hexAddress, last, std::string("$") + hexAddress, last, ""}));
        EXPECT_TRUE(driver->boxesSinceMark().empty());
    }
}

TEST_F(SerialWindowOnDevice, ExceptionIsReportedWithoutASecondAttempt)
{
    connect();
    // Input register 1 counts the requests the device has answered, this one included.
    auto requestsSoFar = [&]() -> int {
        EXPECT_TRUE(driver->choose("RtuReadTypeCombo", "Input (FC 04)"));
        read("1", "1");
        const Strings log = driver->logSinceMark();
        EXPECT_EQ(log.size(), 3u);
        EXPECT_EQ(log.back(), "OK: FC04 – 1 Register ab 0x0001 (1)");
        const TableRows rows = driver->table("RtuRegisterList");
        return rows.size() == 1 ? std::stoi(rows[0][3]) : -1;
    };
    const int before = requestsSoFar();
    const TableRows shown = driver->table("RtuRegisterList");

    ASSERT_TRUE(driver->choose("RtuReadTypeCombo", "Holding (FC 03)"));
    read("20000", "2");
    EXPECT_EQ(driver->logSinceMark(),
        (Strings {dump("TX", withCrc({0x01, 0x03, 0x4E, 0x20, 0x00, 0x02})),
            "! Modbus-Exception: ILLEGAL DATA ADDRESS (02)"}));
    EXPECT_EQ(driver->boxesSinceMark(),
        (Boxes {{"Fehler", "Modbus-Exception: ILLEGAL DATA ADDRESS (02)"}}));
    EXPECT_EQ(driver->table("RtuRegisterList"), shown);

    // One counter read, one refused read, the next counter read.
    EXPECT_EQ(requestsSoFar(), before + 2);
}

TEST_F(SerialWindowOnDevice, EmptyPortFieldOnlyAsksForAPort)
{
    driver->type("RtuPortCombo", "");
    driver->mark();
    driver->click("ConnectButton");
    EXPECT_EQ(driver->boxesSinceMark(), (Boxes {{"Hinweis", "Bitte einen Port wählen/eingeben."}}));
    EXPECT_TRUE(driver->logSinceMark().empty());
    EXPECT_EQ(driver->rtuStatus(), "RTU: getrennt");
    EXPECT_FALSE(running->app->modbus.serial.handle);
}

TEST_F(SerialWindowOnDevice, TypedTimeoutIsTakenOpenOrClosedButLoggedOnlyWhileOpen)
{
    // Typing key by key: "1" and "10" are below the field's range and raise nothing.
    driver->mark();
    driver->type("RtuTimeoutSpin", "1000");
    EXPECT_TRUE(driver->logSinceMark().empty());
    EXPECT_EQ(running->app->modbus.serial.rxTimeoutMs, 1000);

    connect();
    const SerialPort* port = running->app->modbus.serial.handle.get();
    const std::string status = driver->rtuStatus();
    driver->mark();
    driver->type("RtuTimeoutSpin", "250");
    EXPECT_EQ(driver->logSinceMark(), Strings {"Timeout aktualisiert: 250 ms"});
    EXPECT_EQ(running->app->modbus.serial.rxTimeoutMs, 250);
    EXPECT_EQ(running->app->modbus.serial.handle.get(), port) << "the port was re-opened";
    EXPECT_EQ(driver->rtuStatus(), status);
    EXPECT_TRUE(driver->boxesSinceMark().empty());
}

TEST_F(SerialWindowOnDevice, LineSettingChosenInItsComboReopensThePort)
{
    connect();
    struct Case
    {
        const char* combo;
        const char* entry;
        int parity; // as stored: 0 none, 1 odd, 2 even
        std::int64_t baud;
        const char* line; // the status text's tail
        bool reopens;
    };
    // clang-format off
    const Case cases[] = {
        {"ParityCombo", "Even",  2,  9600,  "9600 8E1", true},
        {"ParityCombo", "Odd",   1,  9600,  "9600 8O1", true},
        {"BaudCombo",   "19200", 1,  19200, "19200 8O1", true},
        {"BaudCombo",   "19200", 1,  19200, "19200 8O1", false}, // the entry already shown
        {"ParityCombo", "None",  0,  19200, "19200 8N1", true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.combo) + " " + c.entry);
        driver->mark();
        ASSERT_TRUE(driver->choose(c.combo, c.entry));
        const Strings expected = c.reopens
            ? Strings {"Serielle Parameter geändert – öffne Port neu...",
                "Port neu geöffnet: " + path}
            : Strings {};
        EXPECT_EQ(driver->logSinceMark(), expected);
        EXPECT_TRUE(driver->boxesSinceMark().empty());
        EXPECT_EQ(running->app->modbus.serial.parity, c.parity);
        EXPECT_EQ(running->app->modbus.serial.baudRate, c.baud);
        EXPECT_EQ(driver->rtuStatus(), "RTU: verbunden (" + path + " @ " + c.line + ")");

        const termios line = peek->now();
        EXPECT_EQ((line.c_cflag & PARODD) != 0, c.parity == 1);
        EXPECT_EQ(cfgetospeed(&line), c.baud == 19200 ? B19200 : B9600);
    }

    // The re-opened port still carries Modbus.
    read("7", "1");
    EXPECT_EQ(driver->logSinceMark().back(), "OK: FC03 – 1 Register ab 0x0007 (7)");
}

TEST_F(SerialWindowOnDevice, WriteMultipleListsSixValuesALine)
{
    connect();
    driver->showTab(RtuWriteTab);
    struct Case
    {
        int count;
        std::uint16_t start;
        std::size_t listingLines;
    };
    for (const Case& c : {Case {7, 100, 2}, Case {123, 1000, 21}}) {
        SCOPED_TRACE(c.count);
        QString values;
        Bytes frame {0x01, 0x10, static_cast<std::uint8_t>(c.start >> 8),
            static_cast<std::uint8_t>(c.start & 0xFF), 0x00, static_cast<std::uint8_t>(c.count),
            static_cast<std::uint8_t>(2 * c.count)};
        for (int i = 0; i < c.count; ++i) {
            const int value = 40000 + i;
            values += QString::number(value) + (i % 2 ? ";" : ", ");
            frame.push_back(static_cast<std::uint8_t>(value >> 8));
            frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
        }
        driver->type("RtuWriteStartField", QString::number(c.start));
        driver->type("RtuWriteValuesField", values);
        driver->mark();
        driver->click("RtuWriteMultipleButton");

        const Strings log = driver->logSinceMark();
        ASSERT_EQ(log.size(), 3 + c.listingLines);
        EXPECT_EQ(log[0], dump("TX", withCrc(frame)));
        EXPECT_EQ(log[1], dump("RX", withCrc(Bytes(frame.begin(), frame.begin() + 6))));
        char start[8];
        std::snprintf(start, sizeof start, "%04X", c.start);
        EXPECT_EQ(log[2],
            "OK: FC16 – " + std::to_string(c.count) + " Register ab 0x" + start + " ("
                + std::to_string(c.start) + ")");
        EXPECT_EQ(log[3].rfind("    0x" + std::string(start) + " (" + std::to_string(c.start)
                          + ") = $9C40 (40000), ",
                      0),
            0u)
            << log[3];
        for (std::size_t line = 3; line < log.size(); ++line) {
            const std::size_t items = line + 1 < log.size() ? 6u : c.count - 6u * (line - 3);
            const std::size_t separators
                = static_cast<std::size_t>(std::count(log[line].begin(), log[line].end(), '='));
            EXPECT_EQ(separators, items) << log[line];
        }
        const int last = c.start + c.count - 1;
        EXPECT_EQ(device.holdingRegister(last), 40000 + c.count - 1);
        EXPECT_TRUE(driver->boxesSinceMark().empty());
    }
}

// ---- scripted devices -------------------------------------------------------------------------

class SerialWindowOnScriptedLine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        running = std::make_unique<RunningWindow>(Strings {pty.devicePath()});
        running->showActive();
        driver = std::make_unique<WindowDriver>(*running);
    }

    void connect()
    {
        driver->click("ConnectButton");
        ASSERT_TRUE(running->app->modbus.serial.handle);
    }

    PtyPair pty;
    std::unique_ptr<RunningWindow> running;
    std::unique_ptr<WindowDriver> driver;
};

TEST_F(SerialWindowOnScriptedLine, StartAddressWrapsPastTheLastRegister)
{
    // A device whose registers hold their address, at every address.
    RtuDevice device(pty, rtuRegisterMapAnswer);
    connect();
    driver->type("RtuReadStartField", "65535");
    driver->type("RtuReadCountField", "2");
    driver->mark();
    driver->click("RtuReadButton");
    EXPECT_EQ(driver->logSinceMark(),
        (Strings {dump("TX", withCrc({0x01, 0x03, 0xFF, 0xFF, 0x00, 0x02})),
            dump("RX", withCrc({0x01, 0x03, 0x04, 0xFF, 0xFF, 0x00, 0x00})),
            "OK: FC03 – 2 Register ab 0xFFFF (65535)"}));
    EXPECT_EQ(driver->table("RtuRegisterList"),
        (TableRows {{"0xFFFF", "65535", "$FFFF", "65535", ""}, {"0x0000", "0", "$0000", "0", ""}}));
}

TEST_F(SerialWindowOnScriptedLine, SilentDeviceFailsAfterTheTypedTimeoutAndKeepsTheTable)
{
    // Answers the first request, then falls silent.
    std::atomic<bool> answered {false};
    RtuDevice device(pty, [&](const Bytes& request) {
        return answered.exchange(true) ? Bytes {} : rtuRegisterMapAnswer(request);
    });
    connect();
    driver->click("RtuReadButton");
    const TableRows shown = driver->table("RtuRegisterList");
    ASSERT_EQ(shown.size(), 2u);

    driver->type("RtuTimeoutSpin", "100");
    driver->mark();
    const auto begin = std::chrono::steady_clock::now();
    driver->click("RtuReadButton");
    const auto took = std::chrono::steady_clock::now() - begin;

    EXPECT_EQ(driver->logSinceMark(),
        (Strings {"TX (8 B): 01 03 00 00 00 02 C4 0B", "! Antwort zu kurz / Timeout (FC03/04)."}));
    EXPECT_EQ(
        driver->boxesSinceMark(), (Boxes {{"Fehler", "Antwort zu kurz / Timeout (FC03/04)."}}));
    EXPECT_EQ(driver->table("RtuRegisterList"), shown);
    EXPECT_GE(took, std::chrono::milliseconds(95));
    EXPECT_LT(took, std::chrono::milliseconds(750)) << "the start value of 800 ms was used";
    EXPECT_EQ(device.requests().size(), 2u);
}

Bytes fc16Exception(std::uint8_t code) { return withCrc({0x01, 0x90, code}); }

TEST_F(SerialWindowOnScriptedLine, WriteMultipleSendsOnceMoreAfterAnInvalidExceptionCode)
{
    const std::string hint
        = "Hinweis: RTU-Stream neu synchronisieren – RX spülen & einmal erneut senden...";
    const std::string request = dump("TX",
        withCrc({0x01, 0x10, 0x00, 0x00, 0x00, 0x03, 0x06, 0x00, 0x0A, 0x00, 0x14, 0x00, 0x1E}));
    const Bytes echo = withCrc({0x01, 0x10, 0x00, 0x00, 0x00, 0x03});
    struct Case
    {
        const char* name;
        std::vector<Bytes> replies; // one per request, in order
        Strings log;
        Boxes boxes;
    };
    const Case cases[] = {
        {"repeat succeeds", {fc16Exception(0x07), echo},
            {request, hint, dump("RX", echo), "OK: FC16 – 3 Register ab 0x0000 (0)",
                "    0x0000 (0) = $000A (10), 0x0001 (1) = $0014 (20), 0x0002 (2) = $001E (30)"},
            {}},
        {"repeat fails alike", {fc16Exception(0x07), fc16Exception(0x0C)},
            {request, hint, "! RTU: Ungültiger Exceptioncode – Stream unsynchron."},
            {{"Fehler", "RTU: Ungültiger Exceptioncode – Stream unsynchron."}}},
        {"valid exception is final", {fc16Exception(0x02)},
            {request, "! Modbus-Exception (FC16): ILLEGAL DATA ADDRESS (02)"},
            {{"Fehler", "Modbus-Exception (FC16): ILLEGAL DATA ADDRESS (02)"}}},
    };
    connect();
    // An exception reply is shorter than the echo awaited, so each one waits out the time-out.
    driver->type("RtuTimeoutSpin", "200");
    driver->showTab(RtuWriteTab);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t next = 0;
        RtuDevice device(pty,
            [&](const Bytes&) { return next < c.replies.size() ? c.replies[next++] : Bytes {}; });
        driver->mark();
        driver->click("RtuWriteMultipleButton");
        EXPECT_EQ(driver->logSinceMark(), c.log);
        EXPECT_EQ(driver->boxesSinceMark(), c.boxes);
        const std::vector<Bytes> sent = device.requests();
        ASSERT_EQ(sent.size(), c.replies.size());
        for (const Bytes& frame : sent)
            EXPECT_EQ(dump("TX", frame), request);
    }
}

} // namespace
} // namespace kalvenor::test
