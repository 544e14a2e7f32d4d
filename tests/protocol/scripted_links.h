#pragma once

#include "link/serial_port.h"
#include "link/tcp_socket.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <vector>

namespace kalvenor::test {

using Bytes = std::vector<std::uint8_t>;

// A serial port that plays a device from a script: `stale` is waiting before the request (and
// must be drained), the reply chunks arrive after the request, one chunk per wait. Without more
// chunks a wait reports that the time ran out at once, so a short reply costs no real time.
class ScriptedSerialPort : public SerialPort
{
public:
    Bytes stale;
    std::deque<Bytes> replyChunks;
    std::size_t writeLimit = std::numeric_limits<std::size_t>::max();

    std::vector<Bytes> writes; // every request as written, cut to what the port took
    std::vector<std::int64_t> waitTimeouts;

    void setTimeouts(const SerialTimeouts&) override { }
    std::size_t waitingCount() override { return pending().size(); }
    std::size_t read(std::uint8_t* buffer, std::size_t n) override
    {
        Bytes& from = pending();
        const std::size_t count = std::min(n, from.size());
        std::memcpy(buffer, from.data(), count);
        from.erase(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(count));
        return count;
    }
    std::size_t write(const std::uint8_t* bytes, std::size_t n) override
    {
        const std::size_t taken = std::min(n, writeLimit);
        writes.emplace_back(bytes, bytes + taken);
        if (!replyChunks.empty() && m_current.empty()) {
            m_current = std::move(replyChunks.front());
            replyChunks.pop_front();
        }
        return taken;
    }
    bool waitReadable(std::int64_t timeoutMs) override
    {
        waitTimeouts.push_back(timeoutMs);
        if (!pending().empty())
            return true;
        if (writes.empty() || replyChunks.empty())
            return false;
        m_current = std::move(replyChunks.front());
        replyChunks.pop_front();
        return true;
    }

private:
    Bytes& pending() { return writes.empty() ? stale : m_current; }
    Bytes m_current;
};

// A TCP connection that serves a fixed byte stream. When the stream is used up it behaves like
// a peer that closed its side (receive gives 0), or, with errorAtEnd, like a broken connection.
class ScriptedTcpConnection : public TcpConnection
{
public:
    Bytes stream;
    bool errorAtEnd = false;
    std::int64_t sendLimit = std::numeric_limits<std::int64_t>::max(); // -1: the send fails

    std::vector<Bytes> sent;
    struct Receive
    {
        std::size_t asked;
        std::int64_t timeoutMs;
    };
    std::vector<Receive> receives;

    std::int64_t send(const std::uint8_t* bytes, std::size_t n) override
    {
        if (sendLimit < 0)
            return -1;
        const auto taken = std::min<std::int64_t>(static_cast<std::int64_t>(n), sendLimit);
        sent.emplace_back(bytes, bytes + taken);
        return taken;
    }
    std::int64_t receive(std::uint8_t* buffer, std::size_t n, std::int64_t timeoutMs) override
    {
        receives.push_back({n, timeoutMs});
        if (m_position == stream.size())
            return errorAtEnd ? -1 : 0;
        const std::size_t count = std::min(n, stream.size() - m_position);
        std::memcpy(buffer, stream.data() + m_position, count);
        m_position += count;
        return static_cast<std::int64_t>(count);
    }
    std::size_t unread() const { return stream.size() - m_position; }

private:
    std::size_t m_position = 0;
};

} // namespace kalvenor::test
