#pragma once

#include "link/tcp_socket.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kalvenor {

// The TCP link's record; one for the whole run.
struct TcpSettings
{
    std::unique_ptr<TcpConnection> connection; // null while disconnected
    std::string host = "127.0.0.1"; // used as typed, not trimmed
    std::int64_t port = 502;
    std::int64_t timeoutMs = 1200; // each receive wait of a transaction
    std::int64_t connectTimeoutMs = 2000;
    std::uint16_t transactionId = 0; // survives every connect and disconnect

    TcpConnector* connector = &posixTcpConnector(); // tests put their own here
};

// Closes an open connection, then connects to host:port within connectTimeoutMs.
[[nodiscard]] bool tcpOpen(TcpSettings& tcp);
// Closes the connection if one is open.
void tcpClose(TcpSettings& tcp);
// One send call; bytes taken, negative on error or without a connection.
[[nodiscard]] std::int64_t tcpSend(TcpSettings& tcp, const std::uint8_t* bytes, std::size_t n);
// Receives exactly count bytes within timeoutMs: count, RC_TCP_TIMEOUT (-1010) or
// RC_TCP_CONNECTION_LOST (-1013). A peer that closed its side yields -1010 after the time-out.
[[nodiscard]] std::int64_t tcpReceiveExact(TcpSettings& tcp, std::uint8_t* buffer,
    std::size_t count, std::int64_t timeoutMs);

} // namespace kalvenor
