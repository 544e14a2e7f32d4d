#pragma once

#include "link/serial_port.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kalvenor {

// The serial link's settings record; one for the whole run.
struct SerialSettings
{
    std::unique_ptr<SerialPort> handle; // the open port; null while closed
    std::string portName = "COM3";
    std::int64_t baudRate = 9600;
    int parity = 0; // 0 none, 1 odd, 2 even
    int dataBits = 8;
    float stopBits = 1.0f;
    int handshake = HandshakeNone; // mode handed to the port layer
    int readIntervalMs = 30;
    int rxTimeoutMs = 800; // total receive time-out of a transaction
    int readPerByteMs = 10;
    int writeTimeoutMs = 200;
    int writePerByteMs = 10;

    SerialPortProvider* ports = &posixSerialPorts(); // tests put their own here
};

// Closes any open port, opens portName with the settings (4096-byte buffers), applies the
// time-outs and drains; true on success, handle stays null on failure.
[[nodiscard]] bool serialOpen(SerialSettings& serial);
// Closes the port if one is open.
void serialClose(SerialSettings& serial);
// Reads and discards every byte waiting, also bytes that keep arriving while it drains.
void serialDrain(SerialSettings& serial);
// Hands the five time-outs to the open port; nothing when closed.
void serialApplyTimeouts(SerialSettings& serial);

// Drains, writes the request in one write, then collects the reply until `expected` bytes are in
// or timeoutMs (counted from the end of the write) has passed. Returns the bytes collected
// (may exceed expected, never capacity), RC_NO_PORT (-1) without a port, RC_SEND_FAILED (-2)
// when the port did not take the whole request.
[[nodiscard]] std::int64_t serialExchange(SerialSettings& serial, const std::uint8_t* request,
    std::size_t requestLength, std::size_t expected, std::uint8_t* response,
    std::size_t capacity, std::int64_t timeoutMs);

} // namespace kalvenor
