#pragma once

#include "protocol/modbus_state.h"
#include "protocol/result_code.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kalvenor {

// Wraps the PDU in an MBAP header (next transaction identifier, unit state.slaveId) in
// state.tcpTxFrame, sends it, and receives the response; skips one stale or foreign response.
// Returns the length of the accepted response PDU, copied to the start of response, or a
// negative code (-1000, -1001, -1010, -1011, -1012, -1013, -1014, -1016).
[[nodiscard]] ResultCode tcpTransact(ModbusState& state, const std::uint8_t* pdu,
    std::size_t pduLength, std::uint8_t* response, std::size_t capacity);

// FC03/FC04: the quantity on success, with values resized to it; otherwise a negative code.
[[nodiscard]] ResultCode tcpReadRegisters(ModbusState& state, std::uint8_t functionCode,
    std::uint16_t start, std::uint16_t quantity, std::vector<std::uint16_t>& values);
// FC06: 1 on success, otherwise a negative code.
[[nodiscard]] ResultCode tcpWriteSingleRegister(ModbusState& state, std::uint16_t address,
    std::uint16_t value);
// FC16: the quantity on success, otherwise a negative code; writes values[0 .. quantity - 1].
[[nodiscard]] ResultCode tcpWriteMultipleRegisters(ModbusState& state, std::uint16_t start,
    const std::vector<std::uint16_t>& values, std::size_t quantity);

} // namespace kalvenor
