#pragma once

#include "commands/operator_view.h"
#include "link/serial_link.h"

#include <string>

namespace kalvenor {

// Blanks (only U+0020) trimmed, then lower case: "COM3", "com3" and " COM3 " are one port.
std::string normalizePortName(const std::string& name);
bool isPortListed(OperatorView& view, const std::string& name);
// Lists name when it is not listed yet and can be opened (or is the open port); 1 when added.
int probePort(SerialSettings& serial, OperatorView& view, const std::string& name);
// Rebuilds RtuPortCombo's list from the open port and the provider's candidate names, logs.
void portScan(SerialSettings& serial, OperatorView& view);
// After a scan: the first entry becomes the selection and portName, or the text is emptied.
void selectFirstPort(SerialSettings& serial, OperatorView& view);
// Handler of ScanButton.
void portScanCommand(SerialSettings& serial, OperatorView& view);

} // namespace kalvenor
