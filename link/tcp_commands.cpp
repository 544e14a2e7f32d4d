#include "link/tcp_commands.h"

#include "commands/number_parsing.h"
#include "link/clock.h"
#include "link/tcp_link.h"

#include <string>

namespace kalvenor {

void tcpReadSettings(ModbusState& state, OperatorView& view)
{
    TcpSettings& tcp = state.tcp;
    tcp.host = view.text(WidgetId::TcpHostField);
    // The plain conversion on purpose: "0x1F6" is port 0 here, "$1F6" is 502.
    tcp.port = parseNumber(view.text(WidgetId::TcpPortField));
    tcp.timeoutMs = view.spinValue(WidgetId::TcpTimeoutSpin);
}

void tcpConnect(ModbusState& state, OperatorView& view)
{
    tcpReadSettings(state, view);
    TcpSettings& tcp = state.tcp;
    if (tcp.host.empty() || tcp.port <= 0) {
        view.messageBox("Hinweis", "Bitte Host/IP und Port angeben.");
        return;
    }
    const std::string target = tcp.host + ":" + std::to_string(tcp.port);
    if (tcpOpen(tcp)) {
        view.appendLog("TCP verbunden: " + target);
    } else {
        view.appendLog("TCP-Verbindung fehlgeschlagen: " + target);
        view.messageBox("Fehler", "TCP-Verbindung konnte nicht aufgebaut werden.");
    }
    view.refreshStatusBar();
}

void tcpDisconnect(ModbusState& state, OperatorView& view)
{
    tcpClose(state.tcp);
    view.appendLog("TCP getrennt.");
    view.refreshStatusBar();
}

bool isTcpResyncCode(ResultCode code)
{
    // A wrong transaction or unit identifier, a bad exception code, a time-out or a broken
    // connection all mean the byte stream can no longer be trusted; a bad protocol identifier
    // or MBAP length does not reconnect.
    return code == RC_TCP_TRANSACTION_ID || code == RC_TCP_BAD_EXCEPTION || code == RC_TCP_UNIT_ID
        || code == RC_TCP_TIMEOUT || code == RC_TCP_CONNECTION_LOST;
}

bool tcpResync(ModbusState& state, OperatorView& view)
{
    view.appendLog("Hinweis: TCP-Stream neu synchronisieren – Verbindung wird neu aufgebaut...");
    tcpClose(state.tcp);
    sleepMs(50);
    return tcpOpen(state.tcp);
}

} // namespace kalvenor
