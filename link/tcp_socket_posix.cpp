// TCP client sockets over IPv4. The socket is non-blocking from creation to close: the connect is
// bounded by poll() and SO_ERROR, sends take what fits at once, and receives try the socket first
// and wait with poll() only when nothing is there.

#include "link/tcp_socket.h"

#include "link/clock.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace kalvenor {

namespace {

int pollTimeout(std::int64_t ms)
{
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT_MAX));
}

class PosixTcpConnection final : public TcpConnection
{
public:
    explicit PosixTcpConnection(int fd)
        : m_fd(fd)
    {
    }
    ~PosixTcpConnection() override { ::close(m_fd); }
    PosixTcpConnection(const PosixTcpConnection&) = delete;
    PosixTcpConnection& operator=(const PosixTcpConnection&) = delete;

    std::int64_t send(const std::uint8_t* bytes, std::size_t n) override
    {
        if (n == 0)
            return 0;
        for (;;) {
            // MSG_DONTWAIT: a peer that stopped reading must not freeze the window once the
            // send buffer is full; the caller sees a short count instead.
            ssize_t sent = ::send(m_fd, bytes, n, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent >= 0)
                return sent;
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            return -1;
        }
    }

    std::int64_t receive(std::uint8_t* buffer, std::size_t n, std::int64_t timeoutMs) override
    {
        if (n == 0)
            return 0;
        std::int64_t got = takeWaiting(buffer, n);
        if (got != 0 || m_peerClosed)
            return got;
        const Deadline deadline(std::max<std::int64_t>(timeoutMs, 0));
        for (;;) {
            pollfd pfd {m_fd, POLLIN, 0};
            int ready = ::poll(&pfd, 1, pollTimeout(deadline.leftMs()));
            if (ready < 0) {
                if (errno == EINTR && !deadline.expired())
                    continue;
                return errno == EINTR ? 0 : -1;
            }
            if (ready == 0)
                return 0;
            return takeWaiting(buffer, n);
        }
    }

private:
    // One non-blocking receive: bytes taken, 0 for none or end of stream, -1 on error.
    std::int64_t takeWaiting(std::uint8_t* buffer, std::size_t n)
    {
        for (;;) {
            ssize_t got = ::recv(m_fd, buffer, n, MSG_DONTWAIT);
            if (got > 0)
                return got;
            if (got == 0) {
                m_peerClosed = true;
                return 0;
            }
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            return -1;
        }
    }

    int m_fd;
    // After end of stream poll() reports readable at once for ever; waiting is pointless.
    bool m_peerClosed = false;
};

// The IPv4 addresses of host: a dotted address as it is, any other name resolved.
std::vector<in_addr> resolveIpv4(const std::string& host)
{
    in_addr direct {};
    if (inet_pton(AF_INET, host.c_str(), &direct) == 1)
        return {direct};

    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0)
        return {};
    std::vector<in_addr> addresses;
    for (addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr)
            addresses.push_back(reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr);
    }
    freeaddrinfo(list);
    return addresses;
}

// Connects one socket to address within the deadline; the descriptor or -1.
int connectOne(const in_addr& address, std::uint16_t port, const Deadline& deadline)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in target {};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr = address;

    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (rc != 0 && errno != EINPROGRESS && errno != EINTR) {
        ::close(fd);
        return -1;
    }
    if (rc != 0) {
        for (;;) {
            pollfd pfd {fd, POLLOUT, 0};
            int ready = ::poll(&pfd, 1, pollTimeout(deadline.leftMs()));
            if (ready > 0)
                break;
            if (ready < 0 && errno == EINTR && !deadline.expired())
                continue;
            ::close(fd); // no answer in time
            return -1;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            ::close(fd);
            return -1;
        }
    }
    // Modbus frames are small request/reply pairs: Nagle would hold each one back.
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

class PosixTcpConnector final : public TcpConnector
{
public:
    std::unique_ptr<TcpConnection> connect(
        const std::string& host, std::int64_t port, std::int64_t timeoutMs) override
    {
        if (port < 1 || port > 65535)
            return nullptr;
        // One deadline covers name resolution's result list; resolution itself is bounded
        // by the resolver's own time-outs.
        const Deadline deadline(std::max<std::int64_t>(timeoutMs, 0));
        for (const in_addr& address : resolveIpv4(host)) {
            int fd = connectOne(address, static_cast<std::uint16_t>(port), deadline);
            if (fd >= 0)
                return std::make_unique<PosixTcpConnection>(fd);
            if (deadline.expired())
                break;
        }
        return nullptr;
    }
};

} // namespace

TcpConnector& posixTcpConnector()
{
    static PosixTcpConnector connector;
    return connector;
}

} // namespace kalvenor
