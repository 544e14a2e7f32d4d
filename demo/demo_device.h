#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kalvenor::demo {

// The register map, laid out so that any read shows at a glance whether it landed right:
// holding register n holds n, and a few input registers move while the device runs. Every
// address outside the map, and every coil or discrete input, answers ILLEGAL DATA ADDRESS.
inline constexpr int HoldingRegisterCount = 10000; // 0..9999, writable, initially n = n

enum InputRegister : int
{
    InputUptimeSeconds = 0, // seconds since the device started (wraps at 65536)
    InputRequestCounter = 1, // requests answered on both links so far (wraps at 65536)
    InputSine = 2, // 1000 + 1000 * sin(2 pi t / 60 s): one slow wave a minute, 0..2000
    InputRegisterCount = 3,
};

inline constexpr std::uint8_t RtuSlaveAddress = 1;

// A Modbus device in the background: Modbus TCP on a loopback port and Modbus RTU on a
// pseudo-terminal it creates, each served by its own thread over one shared register map.
// Destroying it stops both.
class DemoDevice
{
public:
    DemoDevice();
    ~DemoDevice();
    DemoDevice(const DemoDevice&) = delete;
    DemoDevice& operator=(const DemoDevice&) = delete;

    // Listens on address:port (IPv4 dotted; port 0 takes a free one) and serves every client
    // that connects, any unit identifier. False with the reason in error when it cannot bind.
    [[nodiscard]] bool startTcp(const std::string& address, int port, std::string& error);
    // The port actually listened on; 0 before startTcp succeeded.
    int tcpPort() const;

    // Creates a pseudo-terminal and answers RTU requests for slave 1 on it. False with the
    // reason in error when no pseudo-terminal can be had.
    [[nodiscard]] bool startRtu(std::string& error);
    // The device path a master opens as its serial port (e.g. /dev/pts/3); empty before
    // startRtu succeeded.
    const std::string& rtuPath() const;

    // Stops both threads and releases socket, pty and map; also done by the destructor.
    void stop();

    // The holding register's current value, read beside the bus (for checks and the demo).
    std::uint16_t holdingRegister(int address) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// Length of a whole RTU request (address through CRC) from its first bytes: 0 while more bytes
// are needed to tell, SIZE_MAX for a function whose request length is not known.
std::size_t rtuRequestLength(const std::uint8_t* bytes, std::size_t count);

} // namespace kalvenor::demo
