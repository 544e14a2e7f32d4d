#include "tests/support/pty_pair.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace kalvenor::test {

PtyPair::PtyPair()
{
    char name[256] = {};
    termios raw {};
    cfmakeraw(&raw);
    if (openpty(&m_controller, &m_device, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    m_path = name;
    fcntl(m_controller, F_SETFD, FD_CLOEXEC);
    fcntl(m_device, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair()
{
    if (m_device >= 0)
        ::close(m_device);
    if (m_controller >= 0)
        ::close(m_controller);
}

void PtyPair::send(const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(m_controller, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("write to pty failed");
        }
        done += static_cast<std::size_t>(n);
    }
}

std::vector<std::uint8_t> PtyPair::receive(std::size_t n, int timeoutMs)
{
    using clock = std::chrono::steady_clock;
    auto end = clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now()).count();
        if (left <= 0)
            break;
        pollfd pfd {m_controller, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left)) <= 0)
            continue;
        std::uint8_t chunk[1024];
        ssize_t got = ::read(m_controller, chunk, sizeof chunk < n - bytes.size() ? sizeof chunk : n - bytes.size());
        if (got > 0)
            bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

std::vector<std::uint8_t> PtyPair::receiveFor(int timeoutMs)
{
    return receive(static_cast<std::size_t>(-1), timeoutMs);
}

} // namespace kalvenor::test
