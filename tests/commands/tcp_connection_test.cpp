// Connect, disconnect and resynchronisation of the TCP link against loopback listeners.
#include "link/tcp_commands.h"
#include "tests/commands/peers.h"
#include "tests/support/fake_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kalvenor {
namespace {

using test::FakeDialogs;
using test::FakeView;
using test::TcpPeer;
using Boxes = std::vector<FakeDialogs::Box>;
using Strings = std::vector<std::string>;

TcpPeer::Answer silent()
{
    return [](const test::Bytes&, int) { return test::Bytes {}; };
}

class TcpConnection : public ::testing::Test
{
protected:
    TcpConnection() { view.texts[WidgetId::TcpPortField] = std::to_string(peer.port()); }

    void connect()
    {
        tcpConnect(state, view);
        ASSERT_TRUE(state.tcp.connection);
        view.log.clear();
        view.statusRefreshes = 0;
    }

    TcpPeer peer {silent()};
    ModbusState state;
    FakeView view;
};

TEST_F(TcpConnection, ConnectLogsHostAndPortAndRefreshes)
{
    tcpConnect(state, view);

    EXPECT_TRUE(state.tcp.connection);
    EXPECT_EQ(view.log, Strings {"TCP verbunden: 127.0.0.1:" + std::to_string(peer.port())});
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
    EXPECT_EQ(view.statusRefreshes, 1);
}

TEST_F(TcpConnection, PortTextsThatAreNotAPositiveNumberOnlyShowTheHint)
{
    connect();
    const auto* open = state.tcp.connection.get();
    for (const char* text : {"0", "-1", "abc", "0x1F6", ""}) {
        view.texts[WidgetId::TcpPortField] = text;
        view.fakeDialogs.boxes.clear();
        tcpConnect(state, view);
        EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Hinweis", "Bitte Host/IP und Port angeben."}}))
            << text;
        EXPECT_EQ(state.tcp.connection.get(), open) << text << ": the open connection moved";
    }
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(view.statusRefreshes, 0);
    EXPECT_TRUE(test::eventually([&] { return peer.connections() >= 1; }));
    EXPECT_EQ(peer.connections(), 1);
}

TEST_F(TcpConnection, PortTextIsReadUpToTheFirstNonDigitAndTakesDollarHex)
{
    const std::string port = std::to_string(peer.port());
    char hex[16];
    std::snprintf(hex, sizeof hex, "$%X", static_cast<unsigned>(peer.port()));
    for (const std::string& text : {port + "abc", std::string(hex)}) {
        view.log.clear();
        tcpConnect(state, view);
        EXPECT_TRUE(state.tcp.connection) << text;
        EXPECT_EQ(view.log, Strings {"TCP verbunden: 127.0.0.1:" + port}) << text;
    }
}

TEST_F(TcpConnection, EmptyHostShowsTheHintButOneBlankIsTriedAndFails)
{
    view.texts[WidgetId::TcpHostField] = "";
    tcpConnect(state, view);
    EXPECT_EQ(view.fakeDialogs.boxes, (Boxes {{"Hinweis", "Bitte Host/IP und Port angeben."}}));
    EXPECT_TRUE(view.log.empty());
    EXPECT_EQ(view.statusRefreshes, 0);

    view.fakeDialogs.boxes.clear();
    view.texts[WidgetId::TcpHostField] = " ";
    tcpConnect(state, view);
    EXPECT_FALSE(state.tcp.connection);
    EXPECT_EQ(
        view.log, Strings {"TCP-Verbindung fehlgeschlagen:  :" + std::to_string(peer.port())});
    EXPECT_EQ(view.fakeDialogs.boxes,
        (Boxes {{"Fehler", "TCP-Verbindung konnte nicht aufgebaut werden."}}));
    EXPECT_EQ(view.statusRefreshes, 1);
}

TEST_F(TcpConnection, FailedConnectWhileConnectedLeavesNoConnection)
{
    connect();
    const int port = test::refusedPort();
    view.texts[WidgetId::TcpPortField] = std::to_string(port);
    tcpConnect(state, view);

    EXPECT_FALSE(state.tcp.connection);
    EXPECT_EQ(
        view.log, Strings {"TCP-Verbindung fehlgeschlagen: 127.0.0.1:" + std::to_string(port)});
    EXPECT_EQ(view.fakeDialogs.boxes,
        (Boxes {{"Fehler", "TCP-Verbindung konnte nicht aufgebaut werden."}}));
    EXPECT_EQ(view.statusRefreshes, 1);
}

TEST_F(TcpConnection, DisconnectLogsAndRefreshesAlsoWithoutAConnection)
{
    connect();
    tcpDisconnect(state, view);
    EXPECT_FALSE(state.tcp.connection);
    tcpDisconnect(state, view);
    EXPECT_EQ(view.log, (Strings {"TCP getrennt.", "TCP getrennt."}));
    EXPECT_EQ(view.statusRefreshes, 2);
}

TEST_F(TcpConnection, ResyncLogsTheHintAndConnectsAfreshToTheStoredAddress)
{
    connect();
    // A host typed after connecting only counts once the settings are read again.
    view.texts[WidgetId::TcpHostField] = "192.0.2.1";

    EXPECT_TRUE(tcpResync(state, view));
    EXPECT_TRUE(state.tcp.connection);
    EXPECT_EQ(view.log,
        Strings {"Hinweis: TCP-Stream neu synchronisieren – Verbindung wird neu aufgebaut..."});
    EXPECT_EQ(view.statusRefreshes, 0);
    EXPECT_TRUE(test::eventually([&] { return peer.connections() >= 2; }));
    EXPECT_EQ(peer.connections(), 2);
}

TEST_F(TcpConnection, ResyncThatCannotReconnectReturnsFalseAndLeavesNoConnection)
{
    connect();
    peer.stopListening();

    EXPECT_FALSE(tcpResync(state, view));
    EXPECT_FALSE(state.tcp.connection);
    EXPECT_EQ(view.log,
        Strings {"Hinweis: TCP-Stream neu synchronisieren – Verbindung wird neu aufgebaut..."});
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
}

} // namespace
} // namespace kalvenor
