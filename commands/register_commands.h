#pragma once

#include "commands/operator_view.h"
#include "protocol/modbus_state.h"

#include <cstdint>
#include <vector>

namespace kalvenor {

// The shown cells of registers start, start + 1, ... (addresses wrap at 65536).
std::vector<RegisterRow> registerRows(std::uint16_t start, const std::vector<std::uint16_t>& values);

void rtuReadCommand(ModbusState& state, OperatorView& view);
void tcpReadCommand(ModbusState& state, OperatorView& view);
void rtuWriteSingleCommand(ModbusState& state, OperatorView& view);
void tcpWriteSingleCommand(ModbusState& state, OperatorView& view);
void rtuWriteMultipleCommand(ModbusState& state, OperatorView& view);
void tcpWriteMultipleCommand(ModbusState& state, OperatorView& view);

} // namespace kalvenor
