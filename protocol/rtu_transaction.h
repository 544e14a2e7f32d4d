#pragma once

#include "protocol/modbus_state.h"
#include "protocol/result_code.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kalvenor {

// Length of a normal FC03/FC04 reply: address, function, byte count, 2 * quantity, CRC.
constexpr std::int64_t rtuReadReplyLength(std::int64_t quantity) { return 2 * quantity + 5; }

// Request builders: write the frame into state.rtuTxFrame and return its length. The commands
// call them to dump the request before the transaction, which builds the same bytes.
std::size_t rtuBuildReadRequest(ModbusState& state, std::uint8_t functionCode,
    std::uint16_t start, std::uint16_t quantity);
std::size_t rtuBuildWriteSingleRequest(ModbusState& state, std::uint16_t address,
    std::uint16_t value);
// quantity must be 1..123 and values must hold that many entries.
std::size_t rtuBuildWriteMultipleRequest(ModbusState& state, std::uint16_t start,
    const std::vector<std::uint16_t>& values, std::size_t quantity);

// FC03/FC04: the quantity on success, with values resized to it; otherwise a negative code.
// Waits at most state.serial.rxTimeoutMs after the request is written.
[[nodiscard]] ResultCode rtuReadRegisters(ModbusState& state, std::uint8_t functionCode,
    std::uint16_t start, std::uint16_t quantity, std::vector<std::uint16_t>& values);
// FC06: 1 on success, otherwise a negative code.
[[nodiscard]] ResultCode rtuWriteSingleRegister(ModbusState& state, std::uint16_t address,
    std::uint16_t value);
// FC16: the quantity on success, otherwise a negative code; writes values[0 .. quantity - 1].
[[nodiscard]] ResultCode rtuWriteMultipleRegisters(ModbusState& state, std::uint16_t start,
    const std::vector<std::uint16_t>& values, std::size_t quantity);

} // namespace kalvenor
