#include "link/tcp_link.h"

#include "link/clock.h"
#include "protocol/result_code.h"

namespace kalvenor {

bool tcpOpen(TcpSettings& tcp)
{
    tcpClose(tcp);
    if (tcp.connector == nullptr)
        return false;
    tcp.connection = tcp.connector->connect(tcp.host, tcp.port, tcp.connectTimeoutMs);
    return tcp.connection != nullptr;
}

void tcpClose(TcpSettings& tcp) { tcp.connection.reset(); }

std::int64_t tcpSend(TcpSettings& tcp, const std::uint8_t* bytes, std::size_t n)
{
    if (!tcp.connection)
        return -1;
    return tcp.connection->send(bytes, n);
}

std::int64_t tcpReceiveExact(
    TcpSettings& tcp, std::uint8_t* buffer, std::size_t count, std::int64_t timeoutMs)
{
    if (count == 0)
        return 0;
    if (timeoutMs <= 0)
        return RC_TCP_TIMEOUT;
    if (!tcp.connection)
        return RC_TCP_CONNECTION_LOST;

    const std::int64_t start = monotonicMs();
    std::size_t received = 0;
    while (received < count) {
        const std::int64_t left = timeoutMs - (monotonicMs() - start);
        if (left <= 0)
            break;
        const std::int64_t got = tcp.connection->receive(buffer + received, count - received, left);
        if (got < 0)
            return RC_TCP_CONNECTION_LOST;
        if (got > 0) {
            received += static_cast<std::size_t>(got);
            continue;
        }
        // Nothing came: either the wait ran out or the peer has closed its side, which is
        // readable at once for ever. Pause so a closed peer does not spin a core until the
        // time-out ends.
        if (monotonicMs() - start < timeoutMs)
            sleepMs(1);
    }
    return received == count ? static_cast<std::int64_t>(count) : RC_TCP_TIMEOUT;
}

} // namespace kalvenor
