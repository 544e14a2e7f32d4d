#include "ui/status_text.h"

namespace kalvenor {

std::string rtuStatusText(const SerialSettings& serial)
{
    if (!serial.handle)
        return "RTU: getrennt";
    // Parity 1 is odd; any value other than 0 and 2 is shown as odd too.
    const char parity = serial.parity == 0 ? 'N' : serial.parity == 2 ? 'E' : 'O';
    const char stopBits = serial.stopBits >= 2.0f ? '2' : '1';
    return "RTU: verbunden (" + serial.portName + " @ " + std::to_string(serial.baudRate) + " "
        + std::to_string(serial.dataBits) + parity + stopBits + ")";
}

std::string tcpStatusText(const TcpSettings& tcp)
{
    if (!tcp.connection)
        return "TCP: getrennt";
    return "TCP: verbunden (" + tcp.host + ":" + std::to_string(tcp.port) + ")";
}

} // namespace kalvenor
