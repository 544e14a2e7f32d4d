#pragma once

#include "link/serial_port.h"

namespace kalvenor::test {

// An open port on which nothing ever arrives and every write is taken whole: for code that
// only asks whether a port is open, or that must never read from it.
class SilentSerialPort : public SerialPort
{
public:
    void setTimeouts(const SerialTimeouts&) override { }
    std::size_t waitingCount() override { return 0; }
    std::size_t read(std::uint8_t*, std::size_t) override { return 0; }
    std::size_t write(const std::uint8_t*, std::size_t n) override { return n; }
    bool waitReadable(std::int64_t) override { return false; }
};

} // namespace kalvenor::test
