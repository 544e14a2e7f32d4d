#pragma once

#include "link/serial_link.h"
#include "link/tcp_link.h"

#include <string>

namespace kalvenor {

// "RTU: getrennt", or "RTU: verbunden (COM3 @ 9600 8N1)" while a port is open; the port name is
// shown exactly as stored.
std::string rtuStatusText(const SerialSettings& serial);
// "TCP: getrennt", or "TCP: verbunden (127.0.0.1:502)" while connected.
std::string tcpStatusText(const TcpSettings& tcp);

} // namespace kalvenor
