#pragma once

#include "commands/operator_view.h"
#include "protocol/modbus_state.h"
#include "protocol/result_code.h"

namespace kalvenor {

void tcpReadSettings(ModbusState& state, OperatorView& view);
void tcpConnect(ModbusState& state, OperatorView& view);
void tcpDisconnect(ModbusState& state, OperatorView& view);
// The codes after which a TCP command reconnects and retries once.
bool isTcpResyncCode(ResultCode code);
// Logs the hint, closes, pauses 50 ms and reconnects; true when connected again.
bool tcpResync(ModbusState& state, OperatorView& view);

} // namespace kalvenor
