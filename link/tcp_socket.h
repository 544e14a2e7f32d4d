#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kalvenor {

// One connected TCP stream. Destroying it closes the socket.
class TcpConnection
{
public:
    virtual ~TcpConnection() = default;

    // One send call, no retry of a remainder: bytes taken, or -1 on error. A closed peer never
    // raises SIGPIPE.
    virtual std::int64_t send(const std::uint8_t* bytes, std::size_t n) = 0;
    // Waits at most timeoutMs for data, then takes up to n bytes: the count (> 0), 0 when nothing
    // came or the peer has closed its side, -1 when the connection reported an error.
    virtual std::int64_t receive(std::uint8_t* buffer, std::size_t n, std::int64_t timeoutMs) = 0;
};

class TcpConnector
{
public:
    virtual ~TcpConnector() = default;

    // IPv4 only: a dotted address is used directly, any other host is resolved. Gives up after
    // timeoutMs; nullptr on any failure (unresolvable, refused, port outside 1..65535, time-out).
    virtual std::unique_ptr<TcpConnection> connect(const std::string& host, std::int64_t port,
        std::int64_t timeoutMs)
        = 0;
};

// POSIX sockets: non-blocking connect bounded by poll, TCP_NODELAY, MSG_NOSIGNAL.
TcpConnector& posixTcpConnector();

} // namespace kalvenor
