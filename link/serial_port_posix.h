#pragma once

#include <string>
#include <vector>

namespace kalvenor {

// The serial devices listed under sysClassTty (normally /sys/class/tty) that have a device
// driver bound, as paths under devDir (normally /dev), in natural order (ttyUSB2 before
// ttyUSB10, grouped by prefix), at most 64. A port of the 8250 driver counts only when the
// device at devDir/<name> reports a real UART. Kept apart from posixSerialPorts() so tests can
// point it at a fake tree.
std::vector<std::string> serialCandidateNamesIn(const std::string& sysClassTty,
    const std::string& devDir);

} // namespace kalvenor
