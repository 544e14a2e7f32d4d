#include "tests/commands/peers.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace kalvenor::test {

std::uint16_t modbusCrc(const Bytes& bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

Bytes withCrc(Bytes bytes)
{
    std::uint16_t crc = modbusCrc(bytes);
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

// ---- RTU -------------------------------------------------------------------------------------

RtuDevice::RtuDevice(PtyPair& pty, Answer answer)
    : m_pty(pty)
    , m_answer(std::move(answer))
    , m_thread([this] { run(); })
{
}

RtuDevice::~RtuDevice()
{
    m_stop = true;
    m_thread.join();
}

std::vector<Bytes> RtuDevice::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void RtuDevice::run()
{
    while (!m_stop) {
        Bytes request = m_pty.receive(2, 20);
        if (request.empty())
            continue;
        if (request.size() < 2) {
            Bytes rest = m_pty.receive(1, 500);
            request.insert(request.end(), rest.begin(), rest.end());
        }
        // Requests carry their length: 8 bytes for FC03/04/06; FC16 has a byte count at
        // offset 6, followed by the values and the CRC.
        std::size_t length = 8;
        if (request.size() == 2 && request[1] == 0x10) {
            Bytes head = m_pty.receive(5, 500);
            request.insert(request.end(), head.begin(), head.end());
            length = request.size() == 7 ? 9u + request[6] : request.size();
        }
        if (request.size() < length) {
            Bytes rest = m_pty.receive(length - request.size(), 500);
            request.insert(request.end(), rest.begin(), rest.end());
        }
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        Bytes reply = m_answer(request);
        if (!reply.empty())
            m_pty.send(reply);
    }
}

Bytes rtuRegisterMapAnswer(const Bytes& request)
{
    if (request.size() < 8)
        return {};
    const std::uint8_t fc = request[1];
    const unsigned start = request[2] << 8 | request[3];
    const unsigned quantity = request[4] << 8 | request[5];
    if (fc == 3 || fc == 4) {
        Bytes reply {request[0], fc, static_cast<std::uint8_t>(2 * quantity)};
        for (unsigned i = 0; i < quantity; ++i) {
            unsigned value = ((start + i) & 0xFFFF) + (fc == 4 ? 0x1000 : 0);
            reply.push_back(static_cast<std::uint8_t>(value >> 8 & 0xFF));
            reply.push_back(static_cast<std::uint8_t>(value & 0xFF));
        }
        return withCrc(reply);
    }
    if (fc == 6)
        return Bytes(request.begin(), request.begin() + 8);
    if (fc == 0x10)
        return withCrc(Bytes(request.begin(), request.begin() + 6));
    return withCrc({request[0], static_cast<std::uint8_t>(fc | 0x80), 0x01});
}

// ---- TCP -------------------------------------------------------------------------------------

namespace {

void writeAll(int fd, const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

int loopbackListener(int& port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(fd, 4) != 0) {
        ::close(fd);
        throw std::runtime_error("bind/listen failed");
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

TcpPeer::TcpPeer(Answer answer)
    : m_answer(std::move(answer))
{
    m_listener = loopbackListener(m_port);
    m_thread = std::thread([this] { run(); });
}

TcpPeer::~TcpPeer()
{
    m_stop = true;
    m_thread.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

std::vector<Bytes> TcpPeer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void TcpPeer::stopListening()
{
    // The serving thread owns the listener; it closes it at its next tick.
    m_listening = false;
    while (!m_listeningClosed)
        ::usleep(1000);
}

void TcpPeer::tick()
{
    if (!m_listening && m_listener >= 0) {
        ::close(m_listener);
        m_listener = -1;
        m_listeningClosed = true;
    }
}

bool TcpPeer::readExact(int fd, std::uint8_t* buffer, std::size_t n)
{
    std::size_t got = 0;
    while (got < n) {
        tick();
        if (m_stop)
            return false;
        pollfd pfd {fd, POLLIN, 0};
        int ready = ::poll(&pfd, 1, 20);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        ssize_t r = ::recv(fd, buffer + got, n - got, 0);
        if (r <= 0)
            return false; // closed by the client, or broken
        got += static_cast<std::size_t>(r);
    }
    return true;
}

void TcpPeer::run()
{
    while (!m_stop) {
        tick();
        if (m_listener < 0) {
            ::usleep(5000);
            continue;
        }
        pollfd pfd {m_listener, POLLIN, 0};
        if (::poll(&pfd, 1, 20) <= 0)
            continue;
        int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        int index = m_connections.fetch_add(1);
        serve(fd, index);
        ::close(fd);
    }
}

void TcpPeer::serve(int fd, int connection)
{
    for (;;) {
        Bytes request(7);
        if (!readExact(fd, request.data(), 7))
            return;
        const std::size_t length = static_cast<std::size_t>(request[4] << 8 | request[5]);
        if (length > 1) {
            request.resize(6 + length);
            if (!readExact(fd, request.data() + 7, length - 1))
                return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        Bytes reply = m_answer(request, connection);
        if (!reply.empty())
            writeAll(fd, reply);
    }
}

Bytes tcpFrame(const Bytes& request, const Bytes& pdu)
{
    const std::size_t length = pdu.size() + 1;
    Bytes frame(7 + pdu.size());
    frame[0] = request[0];
    frame[1] = request[1];
    frame[4] = static_cast<std::uint8_t>(length >> 8);
    frame[5] = static_cast<std::uint8_t>(length & 0xFF);
    frame[6] = request[6];
    std::copy(pdu.begin(), pdu.end(), frame.begin() + 7);
    return frame;
}

Bytes tcpRegisterMapAnswer(const Bytes& request)
{
    if (request.size() < 12)
        return {};
    const std::uint8_t fc = request[7];
    const unsigned start = request[8] << 8 | request[9];
    const unsigned quantity = request[10] << 8 | request[11];
    if (fc == 3 || fc == 4) {
        Bytes pdu {fc, static_cast<std::uint8_t>(2 * quantity)};
        for (unsigned i = 0; i < quantity; ++i) {
            unsigned value = ((start + i) & 0xFFFF) + (fc == 4 ? 0x1000 : 0);
            pdu.push_back(static_cast<std::uint8_t>(value >> 8 & 0xFF));
            pdu.push_back(static_cast<std::uint8_t>(value & 0xFF));
        }
        return tcpFrame(request, pdu);
    }
    if (fc == 6 || fc == 0x10)
        return tcpFrame(request, Bytes(request.begin() + 7, request.begin() + 12));
    return tcpFrame(request, {static_cast<std::uint8_t>(fc | 0x80), 0x01});
}

bool eventually(const std::function<bool()>& condition)
{
    for (int i = 0; i < 400 && !condition(); ++i)
        ::usleep(5000);
    return condition();
}

int refusedPort()
{
    int port = 0;
    int fd = loopbackListener(port);
    ::close(fd);
    return port;
}

} // namespace kalvenor::test
