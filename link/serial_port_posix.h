#pragma once

#include "link/serial_port.h"

#include <string>
#include <termios.h>
#include <vector>

namespace kalvenor {

// Fills tio with the raw-mode settings for config (rate, framing, flow control, VMIN = VTIME =
// 0); false when a setting has no termios form (an unknown rate, 1.5 stop bits, parity 3, ...).
bool serialTermiosFor(const SerialPortConfig& config, termios& tio);

// The serial devices listed under sysClassTty (normally /sys/class/tty) that have a device
// driver bound, as paths under devDir (normally /dev), in natural order (ttyUSB2 before
// ttyUSB10, grouped by prefix), at most 64. A port of the 8250 driver counts only when the
// device at devDir/<name> reports a real UART. Kept apart from posixSerialPorts() so tests can
// point it at a fake tree.
std::vector<std::string> serialCandidateNamesIn(
    const std::string& sysClassTty, const std::string& devDir);

} // namespace kalvenor
