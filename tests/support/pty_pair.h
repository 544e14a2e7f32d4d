#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kalvenor::test {

// A pseudo-terminal pair standing in for a serial line: Kalvenor opens devicePath() like any
// serial device, the test plays the device on the controlling side. Both ends start raw, so
// bytes such as 0x03, 0x0D, 0x11 and 0x13 pass untouched. Closes both ends on destruction.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& devicePath() const { return m_path; }
    int controllerFd() const { return m_controller; }

    // Sends bytes as the device.
    void send(const std::vector<std::uint8_t>& bytes);
    // Reads what Kalvenor wrote: returns once n bytes are in or timeoutMs has passed.
    std::vector<std::uint8_t> receive(std::size_t n, int timeoutMs);
    // Everything that arrives within timeoutMs.
    std::vector<std::uint8_t> receiveFor(int timeoutMs);

private:
    int m_controller = -1;
    int m_device = -1; // kept open so the controller never sees a hang-up between opens
    std::string m_path;
};

} // namespace kalvenor::test
