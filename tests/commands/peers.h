#pragma once

#include "tests/support/pty_pair.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kalvenor::test {

using Bytes = std::vector<std::uint8_t>;

// CRC-16/MODBUS written out here, so the frames the peers send do not lean on the code under test.
std::uint16_t modbusCrc(const Bytes& bytes);
// bytes followed by their CRC, low byte first.
Bytes withCrc(Bytes bytes);

// A serial device on the controller side of a pty: each request (read until the line has been
// quiet for a moment) goes to the answer function, whose bytes are sent back; an empty answer
// keeps the device silent. Every request is kept in order.
class RtuDevice
{
public:
    using Answer = std::function<Bytes(const Bytes& request)>;

    RtuDevice(PtyPair& pty, Answer answer);
    ~RtuDevice();
    RtuDevice(const RtuDevice&) = delete;
    RtuDevice& operator=(const RtuDevice&) = delete;

    std::vector<Bytes> requests() const;

private:
    void run();

    PtyPair& m_pty;
    Answer m_answer;
    std::atomic<bool> m_stop {false};
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_requests;
    std::thread m_thread;
};

// A register map that answers FC03/04/06/16 correctly: register n holds n (FC04: n + 0x1000),
// writes are echoed as a device would; slave address 1.
Bytes rtuRegisterMapAnswer(const Bytes& request);

// A Modbus TCP server on 127.0.0.1 and an ephemeral port: one connection at a time, each request
// frame (MBAP header and PDU) goes to the answer function together with the number of the
// connection (0 for the first); an empty answer sends nothing.
class TcpPeer
{
public:
    using Answer = std::function<Bytes(const Bytes& request, int connection)>;

    explicit TcpPeer(Answer answer);
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    int port() const { return m_port; }
    // Connections accepted so far.
    int connections() const { return m_connections.load(); }
    std::vector<Bytes> requests() const;
    // Stops listening: later connects are refused. The current connection stays.
    void stopListening();

private:
    void run();
    void serve(int fd, int connection);
    // Closes the listener once stopListening asked for it; called between waits.
    void tick();
    // Exactly n bytes; false when the client closed, the connection broke or the peer stops.
    bool readExact(int fd, std::uint8_t* buffer, std::size_t n);

    Answer m_answer;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop {false};
    std::atomic<bool> m_listening {true};
    std::atomic<bool> m_listeningClosed {false};
    std::atomic<int> m_connections {0};
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_requests;
    std::thread m_thread;
};

// The reply a correct server gives to a request frame: registers hold their address (FC04:
// address + 0x1000), writes are echoed. The MBAP header mirrors the request's.
Bytes tcpRegisterMapAnswer(const Bytes& request);
// An MBAP frame answering request with the given PDU.
Bytes tcpFrame(const Bytes& request, const Bytes& pdu);

// Polls condition for up to two seconds (the peers run in their own threads); its last result.
bool eventually(const std::function<bool()>& condition);

// A loopback port nothing listens on (bound, then closed).
int refusedPort();

} // namespace kalvenor::test
