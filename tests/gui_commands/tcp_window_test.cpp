// The TCP connection and register commands, operated through the real window: the libmodbus
// demo device on a loopback port for ordinary answers, a scripted server for silence.
#include "demo/demo_device.h"
#include "tests/commands/peers.h"
#include "tests/gui_commands/window_driver.h"

#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace kalvenor::test {
namespace {

using Boxes = std::vector<FakeDialogs::Box>;

const std::string resyncHint
    = "Hinweis: TCP-Stream neu synchronisieren – Verbindung wird neu aufgebaut...";

class TcpWindow : public ::testing::Test
{
protected:
    TcpWindow()
        : running(Strings {})
        , driver(running)
    {
        running.showActive();
    }

    // Types the port and presses "TCP verbinden"; the log line must name it.
    void connectTo(int port)
    {
        driver.type("TcpPortField", QString::number(port));
        driver.mark();
        driver.click("TcpConnectButton");
        ASSERT_EQ(
            driver.logSinceMark(), Strings {"TCP verbunden: 127.0.0.1:" + std::to_string(port)});
        ASSERT_TRUE(running.app->modbus.tcp.connection);
    }

    RunningWindow running;
    WindowDriver driver;
};

class TcpWindowOnDevice : public TcpWindow
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(device.startTcp("127.0.0.1", 0, error)) << error;
        connectTo(device.tcpPort());
    }

    std::string connectedStatus() const
    {
        return "TCP: verbunden (127.0.0.1:" + std::to_string(device.tcpPort()) + ")";
    }

    demo::DemoDevice device;
};

TEST_F(TcpWindowOnDevice, PortTextsThatConvertToNothingLeaveTheConnectionAlone)
{
    EXPECT_EQ(driver.tcpStatus(), connectedStatus());
    const TcpConnection* connection = running.app->modbus.tcp.connection.get();
    // "0x1F6" gets the plain conversion: 0.
    for (const char* text : {"0", "-1", "abc", "0x1F6", ""}) {
        SCOPED_TRACE(text);
        driver.type("TcpPortField", text);
        driver.mark();
        driver.click("TcpConnectButton");
        EXPECT_EQ(
            driver.boxesSinceMark(), (Boxes {{"Hinweis", "Bitte Host/IP und Port angeben."}}));
        EXPECT_TRUE(driver.logSinceMark().empty());
        EXPECT_EQ(running.app->modbus.tcp.connection.get(), connection);
        EXPECT_EQ(driver.tcpStatus(), connectedStatus());
    }
}

TEST_F(TcpWindowOnDevice, PortTextsLedByDecimalOrDollarDigitsReachPort502)
{
    // Port 502 needs the right to bind it and nobody else on it; without a listener of our own
    // the attempt is still seen in the log line that names the port tried.
    demo::DemoDevice standard;
    std::string error;
    const bool listening = standard.startTcp("127.0.0.1", 502, error);
    if (!listening)
        std::cerr << "note: no listener of our own on port 502 (" << error << ")\n";
    for (const char* text : {"502abc", "$1F6"}) {
        SCOPED_TRACE(text);
        driver.type("TcpPortField", text);
        driver.mark();
        driver.click("TcpConnectButton");
        const Strings log = driver.logSinceMark();
        ASSERT_EQ(log.size(), 1u);
        if (listening) {
            EXPECT_EQ(log[0], "TCP verbunden: 127.0.0.1:502");
            EXPECT_EQ(driver.tcpStatus(), "TCP: verbunden (127.0.0.1:502)");
        } else {
            EXPECT_TRUE(log[0] == "TCP verbunden: 127.0.0.1:502"
                || log[0] == "TCP-Verbindung fehlgeschlagen: 127.0.0.1:502")
                << log[0] << " (" << error << ")";
        }
        EXPECT_EQ(running.app->modbus.tcp.port, 502);
    }
    if (listening) {
        // The connection now in use is the one on 502.
        driver.showTab(TcpReadTab);
        driver.type("TcpReadStartField", "502");
        driver.type("TcpReadCountField", "1");
        driver.click("TcpReadButton");
        EXPECT_EQ(
            driver.table("TcpRegisterList"), (TableRows {{"0x01F6", "502", "$01F6", "502", ""}}));
    }
}

TEST_F(TcpWindowOnDevice, HostOfOneBlankIsTriedAndFailsLeavingNoConnection)
{
    driver.type("TcpHostField", " ");
    driver.mark();
    driver.click("TcpConnectButton");
    EXPECT_EQ(driver.logSinceMark(),
        Strings {"TCP-Verbindung fehlgeschlagen:  :" + std::to_string(device.tcpPort())});
    EXPECT_EQ(driver.boxesSinceMark(),
        (Boxes {{"Fehler", "TCP-Verbindung konnte nicht aufgebaut werden."}}));
    EXPECT_FALSE(running.app->modbus.tcp.connection);
    EXPECT_EQ(driver.tcpStatus(), "TCP: getrennt");

    driver.showTab(TcpReadTab);
    driver.mark();
    driver.click("TcpReadButton");
    EXPECT_EQ(driver.boxesSinceMark(), (Boxes {{"Hinweis", "Bitte zuerst TCP verbinden."}}));
    EXPECT_TRUE(driver.logSinceMark().empty());
}

struct Command
{
    const char* name;
    int tab;
    const char* button;
    const char* addressField;
    std::string retryLine;
    std::string exception; // the message for exception code 2
};

const Command commands[] = {
    {"read", TcpReadTab, "TcpReadButton", "TcpReadStartField",
        "TCP erneut verbunden. Erneuter Leseversuch...",
        "Modbus-Exception: ILLEGAL DATA ADDRESS (02)"},
    {"write single", TcpWriteTab, "TcpWriteSingleButton", "TcpWriteAddressField",
        "TCP erneut verbunden. Erneuter Schreibversuch (FC06)...",
        "Modbus-Exception (FC06): ILLEGAL DATA ADDRESS (02)"},
    {"write multiple", TcpWriteTab, "TcpWriteMultipleButton", "TcpWriteStartField",
        "TCP erneut verbunden. Erneuter Schreibversuch (FC16)...",
        "Modbus-Exception (FC16): ILLEGAL DATA ADDRESS (02)"},
};

TEST_F(TcpWindowOnDevice, ExceptionIsReportedWithoutResync)
{
    const TcpConnection* connection = running.app->modbus.tcp.connection.get();
    for (const Command& c : commands) {
        SCOPED_TRACE(c.name);
        driver.showTab(c.tab);
        driver.type(c.addressField, "20000"); // beyond the device's 10000 registers
        driver.mark();
        driver.click(c.button);
        const Strings log = driver.logSinceMark();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0].rfind("TX-TCP (", 0), 0u) << log[0];
        EXPECT_NE(log[0].find(" 4E 20 "), std::string::npos) << log[0];
        EXPECT_EQ(log[1], "! " + c.exception);
        EXPECT_EQ(driver.boxesSinceMark(), (Boxes {{"Fehler", c.exception}}));
        EXPECT_EQ(running.app->modbus.tcp.connection.get(), connection) << "reconnected";
    }
    EXPECT_TRUE(driver.table("TcpRegisterList").empty());
}

TEST_F(TcpWindowOnDevice, WriteMultipleTakesUpTo123ValuesWithoutAListing)
{
    driver.showTab(TcpWriteTab);
    struct Case
    {
        int count;
        int start;
        std::string frameLength; // of the request, MBAP header included
    };
    for (const Case& c : {Case {7, 300, "27"}, Case {123, 2000, "259"}}) {
        SCOPED_TRACE(c.count);
        QString values;
        for (int i = 0; i < c.count; ++i)
            values += QString::number(1000 + i) + (i % 3 ? " " : " ; ");
        driver.type("TcpWriteStartField", QString::number(c.start));
        driver.type("TcpWriteValuesField", values);
        driver.mark();
        driver.click("TcpWriteMultipleButton");
        const Strings log = driver.logSinceMark();
        ASSERT_EQ(log.size(), 3u);
        EXPECT_EQ(log[0].rfind("TX-TCP (" + c.frameLength + " B): ", 0), 0u) << log[0];
        EXPECT_EQ(log[1].rfind("RX-TCP (12 B): ", 0), 0u) << log[1];
        char start[8];
        std::snprintf(start, sizeof start, "%04X", c.start);
        EXPECT_EQ(log[2],
            "OK: FC16 (TCP) – " + std::to_string(c.count) + " Register ab 0x" + start + " ("
                + std::to_string(c.start) + ")");
        EXPECT_EQ(device.holdingRegister(c.start), 1000);
        EXPECT_EQ(device.holdingRegister(c.start + c.count - 1), 1000 + c.count - 1);
        EXPECT_TRUE(driver.boxesSinceMark().empty());
    }
}

TEST(TcpWindowOnSilentServer, EachCommandResyncsOnceThenReportsOneDump)
{
    for (const Command& c : commands) {
        SCOPED_TRACE(c.name);
        TcpPeer server([](const Bytes&, int) { return Bytes {}; });
        RunningWindow running;
        running.showActive();
        WindowDriver driver(running);
        driver.type("TcpTimeoutSpin", "100");
        driver.type("TcpPortField", QString::number(server.port()));
        driver.click("TcpConnectButton");
        ASSERT_TRUE(running.app->modbus.tcp.connection);
        driver.showTab(c.tab);

        driver.mark();
        const auto begin = std::chrono::steady_clock::now();
        driver.click(c.button);
        const auto took = std::chrono::steady_clock::now() - begin;

        const Strings log = driver.logSinceMark();
        ASSERT_EQ(log.size(), 4u);
        EXPECT_EQ(log[0], resyncHint);
        EXPECT_EQ(log[1], c.retryLine);
        // The one dump shows the retried request: transaction 2.
        EXPECT_EQ(log[2].rfind("TX-TCP (", 0), 0u) << log[2];
        EXPECT_NE(log[2].find("B): 00 02 00 00 "), std::string::npos) << log[2];
        EXPECT_EQ(log[3], "! TCP: Timeout / Antwort zu kurz.");
        EXPECT_EQ(driver.boxesSinceMark(), (Boxes {{"Fehler", "TCP: Timeout / Antwort zu kurz."}}));
        EXPECT_EQ(server.connections(), 2);
        EXPECT_EQ(server.requests().size(), 2u);
        // Two receive waits of 100 ms and the 50 ms pause; the start value of 1200 ms would
        // take far longer.
        EXPECT_GE(took, std::chrono::milliseconds(240));
        EXPECT_LT(took, std::chrono::milliseconds(1100));
        EXPECT_TRUE(driver.table("TcpRegisterList").empty());
    }
}

// Both links at once, each command on its own link and its own table.
TEST(BothLinksWindow, OpenTogetherAndEachButtonUsesItsOwnLink)
{
    demo::DemoDevice device;
    std::string error;
    ASSERT_TRUE(device.startRtu(error)) << error;
    ASSERT_TRUE(device.startTcp("127.0.0.1", 0, error)) << error;
    RunningWindow running({device.rtuPath()});
    running.showActive();
    WindowDriver driver(running);

    driver.click("ConnectButton");
    driver.type("TcpPortField", QString::number(device.tcpPort()));
    driver.click("TcpConnectButton");
    EXPECT_EQ(driver.rtuStatus(), "RTU: verbunden (" + device.rtuPath() + " @ 9600 8N1)");
    EXPECT_EQ(
        driver.tcpStatus(), "TCP: verbunden (127.0.0.1:" + std::to_string(device.tcpPort()) + ")");

    driver.type("RtuReadStartField", "40");
    driver.mark();
    driver.click("RtuReadButton");
    EXPECT_EQ(driver.logSinceMark().front().rfind("TX (8 B): 01 03 00 28 00 02 ", 0), 0u);

    driver.showTab(TcpReadTab);
    driver.type("TcpReadStartField", "0x50");
    driver.type("TcpReadCountField", "3");
    driver.mark();
    driver.click("TcpReadButton");
    EXPECT_EQ(driver.logSinceMark(),
        (Strings {"TX-TCP (12 B): 00 01 00 00 00 06 01 03 00 50 00 03",
            "RX-TCP (15 B): 00 01 00 00 00 09 01 03 06 00 50 00 51 00 52",
            "OK: FC03 – 3 Register ab 0x0050 (80)"}));

    EXPECT_EQ(driver.table("RtuRegisterList"),
        (TableRows {{"0x0028", "40", "$0028", "40", ""}, {"0x0029", "41", "$0029", "41", ""}}));
    EXPECT_EQ(driver.table("TcpRegisterList"),
        (TableRows {{"0x0050", "80", "$0050", "80", ""}, {"0x0051", "81", "$0051", "81", ""},
            {"0x0052", "82", "$0052", "82", ""}}));
    EXPECT_TRUE(running.dialogs.boxes.empty());

    // The values check comes before anything is sent, on either link.
    struct ValuesCase
    {
        int tab;
        const char* field;
        const char* button;
        const char* text;
        const char* notice;
    };
    // clang-format off
    const ValuesCase cases[] = {
        {RtuWriteTab, "RtuWriteValuesField", "RtuWriteMultipleButton", ",;,", "Anzahl Werte muss 1..123 sein."},
        {RtuWriteTab, "RtuWriteValuesField", "RtuWriteMultipleButton", "   ", "Bitte Werte angeben (z. B. 10,20,30)."},
        {RtuWriteTab, "RtuWriteValuesField", "RtuWriteMultipleButton", "", "Bitte Werte angeben (z. B. 10,20,30)."},
        {TcpWriteTab, "TcpWriteValuesField", "TcpWriteMultipleButton", " , ; ", "Anzahl Werte muss 1..123 sein."},
        {TcpWriteTab, "TcpWriteValuesField", "TcpWriteMultipleButton", "  ", "Bitte Werte angeben (z. B. 10,20,30)."},
    };
    // clang-format on
    for (const ValuesCase& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " '" + c.text + "'");
        driver.showTab(c.tab);
        driver.type(c.field, c.text);
        driver.mark();
        driver.click(c.button);
        EXPECT_EQ(driver.boxesSinceMark(), (Boxes {{"Hinweis", c.notice}}));
        EXPECT_TRUE(driver.logSinceMark().empty());
    }
    EXPECT_EQ(device.holdingRegister(0), 0);
}

} // namespace
} // namespace kalvenor::test
