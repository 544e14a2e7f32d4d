#pragma once

#include "commands/operator_view.h"
#include "protocol/modbus_state.h"

namespace kalvenor {

// Port-layer handshake mode for a HandshakeCombo position: each item gives the flow control its
// label names ("DSR/DTR", which Linux cannot do, holds DTR and RTS active without flow control).
int handshakeModeForItem(int item);

// Copies the serial widgets into state.serial and state.slaveId; applies the time-outs to an
// open port.
void serialReadSettings(ModbusState& state, OperatorView& view);
void serialConnect(ModbusState& state, OperatorView& view);
void serialDisconnect(ModbusState& state, OperatorView& view);
// Re-opens an open port when its name, baud rate, parity, data bits, stop bits or handshake
// changed; logs a changed receive time-out.
void serialApplyChanges(ModbusState& state, OperatorView& view);

} // namespace kalvenor
