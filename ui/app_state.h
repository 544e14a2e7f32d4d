#pragma once

#include "protocol/modbus_state.h"
#include "terminal/terminal.h"
#include "tools/table_menu.h"

namespace kalvenor {

// The program-wide state for one run: main owns one, each test makes its own.
struct AppState
{
    ModbusState modbus;
    TerminalState terminal;
    RowMenuState rowMenu;
    int activeTransport = 0; // 0 after a serial/RTU tab was chosen, 1 after a TCP tab
    bool statusBarPresent = false;
};

} // namespace kalvenor
