#pragma once

#include "link/serial_link.h"
#include "link/tcp_link.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kalvenor {

// Everything the links and transactions share for the whole run. main owns one; each test
// makes its own, so no test sees another's state.
struct ModbusState
{
    SerialSettings serial;
    std::uint8_t slaveId = 1; // RTU address byte and MBAP unit identifier
    TcpSettings tcp;

    std::array<std::uint8_t, 261> rtuTxFrame {}; // last RTU request built
    std::array<std::uint8_t, 513> responseBuffer {}; // last RTU reply or TCP response PDU
    std::array<std::uint8_t, 261> tcpTxFrame {}; // last MBAP request built
    std::size_t tcpTxLength = 0;
    std::array<std::uint8_t, 521> tcpRxFrame {}; // last accepted MBAP response
    std::size_t tcpRxLength = 0;
};

} // namespace kalvenor
