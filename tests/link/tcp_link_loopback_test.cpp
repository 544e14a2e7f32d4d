#include "link/tcp_link.h"

#include "link/clock.h"
#include "protocol/result_code.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace kalvenor {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::int64_t cpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A listening socket on 127.0.0.1 with a port the kernel picked.
class Listener
{
public:
    explicit Listener(int backlog = 4)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(m_fd, backlog) != 0)
            throw std::runtime_error("loopback listener failed");
        socklen_t length = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~Listener() { close(); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    std::uint16_t port() const { return m_port; }
    int accept() const { return ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC); }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

void sendAll(int fd, const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        ASSERT_GT(n, 0);
        done += static_cast<std::size_t>(n);
    }
}

// A client connected to a listener on loopback, with the server's end of the connection.
class TcpLoopback : public ::testing::Test
{
protected:
    void SetUp() override
    {
        tcp.host = "127.0.0.1";
        tcp.port = listener.port();
        tcp.connectTimeoutMs = 2000;
        ASSERT_TRUE(tcpOpen(tcp));
        server = listener.accept();
        ASSERT_GE(server, 0);
    }
    void TearDown() override
    {
        if (peer.joinable())
            peer.join();
        if (server >= 0)
            ::close(server);
    }

    std::int64_t receive(std::size_t count, std::int64_t timeoutMs)
    {
        buffer.assign(count, 0);
        const std::int64_t cpuStart = cpuMs();
        const std::int64_t start = monotonicMs();
        const std::int64_t n = tcpReceiveExact(tcp, buffer.data(), count, timeoutMs);
        elapsedMs = monotonicMs() - start;
        cpuUsedMs = cpuMs() - cpuStart;
        return n;
    }

    Listener listener;
    TcpSettings tcp;
    int server = -1;
    std::thread peer;
    Bytes buffer;
    std::int64_t elapsedMs = 0;
    std::int64_t cpuUsedMs = 0;
};

TEST_F(TcpLoopback, RequestReachesThePeerAndAReplyInPiecesArrivesWhole)
{
    const Bytes request = {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    ASSERT_EQ(tcpSend(tcp, request.data(), request.size()), 12);
    Bytes seen(12);
    ASSERT_EQ(::recv(server, seen.data(), seen.size(), MSG_WAITALL), 12);
    EXPECT_EQ(seen, request);

    peer = std::thread([this] {
        sendAll(server, {0x00, 0x01, 0x00});
        sleepMs(30);
        sendAll(server, {0x00, 0x00, 0x05});
        sleepMs(30);
        sendAll(server, {0x01, 0x03, 0x02, 0x12, 0x34});
    });
    ASSERT_EQ(receive(11, 2000), 11);
    EXPECT_EQ(buffer, (Bytes {0x00, 0x01, 0x00, 0x00, 0x00, 0x05, 0x01, 0x03, 0x02, 0x12, 0x34}));
    EXPECT_LT(elapsedMs, 1500);
}

TEST_F(TcpLoopback, SilenceEndsWithTimeOutAfterTheTimeOut)
{
    EXPECT_EQ(receive(7, 100), RC_TCP_TIMEOUT);
    EXPECT_GE(elapsedMs, 95);
    EXPECT_LT(elapsedMs, 1000);

    // Part of the bytes is still a time-out, and the next receive continues the stream.
    sendAll(server, {0xA1, 0xA2, 0xA3});
    EXPECT_EQ(receive(7, 100), RC_TCP_TIMEOUT);
}

TEST_F(TcpLoopback, PeerThatClosedItsSideIsATimeOutNotALostConnection)
{
    sendAll(server, {0x01, 0x02});
    ::shutdown(server, SHUT_WR);
    // Pausing costs a few ms of CPU over the 500 ms; a spinning loop takes a large share of
    // them even on a loaded machine.
    EXPECT_EQ(receive(7, 500), RC_TCP_TIMEOUT);
    EXPECT_GE(elapsedMs, 495);
    EXPECT_LT(elapsedMs, 2000);
    EXPECT_LT(cpuUsedMs, 80) << "the receive kept a core busy on a closed stream";

    ::close(server);
    server = -1;
    EXPECT_EQ(receive(7, 500), RC_TCP_TIMEOUT);
    EXPECT_LT(cpuUsedMs, 80);
}

TEST_F(TcpLoopback, ResetPeerIsALostConnectionAtOnce)
{
    linger hard {1, 0};
    ASSERT_EQ(::setsockopt(server, SOL_SOCKET, SO_LINGER, &hard, sizeof hard), 0);
    ::close(server); // sends RST
    server = -1;
    EXPECT_EQ(receive(7, 2000), RC_TCP_CONNECTION_LOST);
    EXPECT_LT(elapsedMs, 1000);
}

TEST_F(TcpLoopback, CountZeroAndTimeOutZero)
{
    sendAll(server, {0x01, 0x02, 0x03});
    sleepMs(20);
    EXPECT_EQ(receive(0, 1000), 0);
    EXPECT_LT(elapsedMs, 50);
    EXPECT_EQ(receive(0, 0), 0);
    EXPECT_EQ(receive(3, 0), RC_TCP_TIMEOUT);
    // The waiting bytes were not consumed by the zero-time-out call.
    ASSERT_EQ(receive(3, 500), 3);
    EXPECT_EQ(buffer, (Bytes {0x01, 0x02, 0x03}));
}

TEST_F(TcpLoopback, SendToAClosedPeerFailsWithoutKillingTheProcess)
{
    ::close(server);
    server = -1;
    const Bytes frame(12, 0x5A);
    std::int64_t last = 0;
    // The first send may still be taken; once the peer's RST is in, sends fail (EPIPE),
    // which must not raise SIGPIPE.
    for (int i = 0; i < 20 && last >= 0; ++i) {
        last = tcpSend(tcp, frame.data(), frame.size());
        sleepMs(10);
    }
    EXPECT_LT(last, 0);
}

TEST_F(TcpLoopback, FullSendBufferGivesAShortCountInsteadOfBlocking)
{
    // The peer never reads: sooner or later both buffers are full.
    const Bytes chunk(64 * 1024, 0x33);
    const std::int64_t start = monotonicMs();
    std::int64_t taken = static_cast<std::int64_t>(chunk.size());
    for (int i = 0; i < 1000 && taken == static_cast<std::int64_t>(chunk.size()); ++i)
        taken = tcpSend(tcp, chunk.data(), chunk.size());
    EXPECT_GE(taken, 0);
    EXPECT_LT(taken, static_cast<std::int64_t>(chunk.size()));
    EXPECT_LT(monotonicMs() - start, 5000);
}

TEST_F(TcpLoopback, ReopenClosesTheOldConnectionAndAFailedOneLeavesNone)
{
    tcp.transactionId = 77;
    Listener refused;
    tcp.port = refused.port();
    refused.close(); // nothing listens there any more

    const std::int64_t start = monotonicMs();
    EXPECT_FALSE(tcpOpen(tcp));
    EXPECT_LT(monotonicMs() - start, 1000) << "a refused connect must not wait for the time-out";
    EXPECT_EQ(tcp.connection, nullptr);
    EXPECT_EQ(tcp.transactionId, 77);

    // The server sees the old connection end.
    std::uint8_t byte = 0;
    pollfd pfd {server, POLLIN, 0};
    ASSERT_EQ(::poll(&pfd, 1, 1000), 1);
    EXPECT_EQ(::recv(server, &byte, 1, 0), 0);

    // Nothing left to send on or receive from.
    EXPECT_LT(tcpSend(tcp, &byte, 1), 0);
    EXPECT_EQ(tcpReceiveExact(tcp, &byte, 1, 50), RC_TCP_CONNECTION_LOST);
    tcpClose(tcp); // closing while closed is harmless
    EXPECT_EQ(tcp.connection, nullptr);
}

// Records what the link hands over and whether the old connection was already gone.
class RecordingConnector : public TcpConnector
{
public:
    explicit RecordingConnector(TcpSettings& tcp)
        : m_tcp(tcp)
    {
    }
    std::unique_ptr<TcpConnection> connect(
        const std::string& host, std::int64_t port, std::int64_t timeoutMs) override
    {
        calls.push_back({host, port, timeoutMs, m_tcp.connection == nullptr});
        return posixTcpConnector().connect(host, port, timeoutMs);
    }
    struct Call
    {
        std::string host;
        std::int64_t port;
        std::int64_t timeoutMs;
        bool oldClosed;
    };
    std::vector<Call> calls;

private:
    TcpSettings& m_tcp;
};

TEST(TcpOpen, ClosesTheOldConnectionBeforeConnectingAgain)
{
    Listener listener;
    TcpSettings tcp;
    RecordingConnector connector(tcp);
    tcp.connector = &connector;
    tcp.host = "127.0.0.1";
    tcp.port = listener.port();
    tcp.connectTimeoutMs = 1500;
    ASSERT_TRUE(tcpOpen(tcp));
    ASSERT_TRUE(tcpOpen(tcp));
    ASSERT_EQ(connector.calls.size(), 2u);
    EXPECT_EQ(connector.calls[1].host, "127.0.0.1");
    EXPECT_EQ(connector.calls[1].port, listener.port());
    EXPECT_EQ(connector.calls[1].timeoutMs, 1500);
    EXPECT_TRUE(connector.calls[1].oldClosed);
    tcpClose(tcp);
}

TEST(TcpConnect, HostNamesAndPortRange)
{
    Listener listener;
    TcpSettings tcp;
    tcp.connectTimeoutMs = 1000;

    tcp.host = "localhost";
    tcp.port = listener.port();
    EXPECT_TRUE(tcpOpen(tcp)) << "localhost did not resolve to 127.0.0.1";
    tcpClose(tcp);

    struct Case
    {
        const char* host;
        std::int64_t port;
    };
    // clang-format off
        const Case failing[] = {
            {"127.0.0.1", 0},
            {"127.0.0.1", 65536},
            {"127.0.0.1", -1},
            {"127.0.0.1", 65536 + listener.port()}, // no silent use of the low 16 bits
            {"", listener.port()},
            {"no-such-host.invalid", listener.port()},
            {"127.0.0.1 ", listener.port()}, // used as typed: not a dotted address, not a name
            {"::1", listener.port()}, // IPv4 only
        };
    // clang-format on
    for (const auto& c : failing) {
        SCOPED_TRACE(std::string(c.host) + ":" + std::to_string(c.port));
        tcp.host = c.host;
        tcp.port = c.port;
        EXPECT_FALSE(tcpOpen(tcp));
        EXPECT_EQ(tcp.connection, nullptr);
    }
}

TEST(TcpConnect, NoAnswerGivesUpAfterTheConnectTimeOut)
{
    // A listener that never accepts, with its queue filled first: the kernel then drops
    // further SYNs, which looks to the client like a host that does not answer.
    Listener listener(0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(listener.port());
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(fd);
    }
    pollfd first {fillers[0], POLLOUT, 0};
    ASSERT_EQ(::poll(&first, 1, 1000), 1);
    sleepMs(20);

    TcpSettings tcp;
    tcp.port = listener.port();
    tcp.connectTimeoutMs = 200;
    const std::int64_t start = monotonicMs();
    EXPECT_FALSE(tcpOpen(tcp));
    const std::int64_t elapsed = monotonicMs() - start;
    EXPECT_EQ(tcp.connection, nullptr);
    EXPECT_GE(elapsed, 190);
    EXPECT_LT(elapsed, 1500);
    for (int fd : fillers)
        ::close(fd);
}

} // namespace
} // namespace kalvenor
