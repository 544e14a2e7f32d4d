#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kalvenor {

// Handshake modes of the port layer.
enum SerialHandshake : int {
    HandshakeNone = 0, // no flow control
    HandshakeRtsActive = 1, // RTS held active, no flow control
    HandshakeRtsCts = 2, // RTS/CTS hardware flow control
    HandshakeXonXoff = 3, // XON/XOFF software flow control, XON 0x11, XOFF 0x13
    HandshakeDtrRtsActive = 4, // DTR and RTS held active, no flow control (Linux has no DSR/DTR flow control)
};

struct SerialPortConfig
{
    std::string name; // used as given: /dev/ttyUSB0, a pty's path, ...
    std::int64_t baudRate = 9600;
    int parity = 0; // 0 none, 1 odd, 2 even
    int dataBits = 8; // 7 or 8
    float stopBits = 1.0f; // 1.0 or 2.0
    int handshake = HandshakeNone;
    int inputBufferSize = 4096;
    int outputBufferSize = 4096;
};

// The five time-outs of the port in milliseconds. Reads are only issued for bytes already
// waiting, so only the write pair bounds anything: a write gives up after
// writeTotalPerByteMs * n + writeTotalConstantMs.
struct SerialTimeouts
{
    int readIntervalMs = 30;
    int readTotalConstantMs = 800;
    int readTotalPerByteMs = 10;
    int writeTotalConstantMs = 200;
    int writeTotalPerByteMs = 10;
};

// One open serial port. Destroying it restores the device's previous settings and closes it.
class SerialPort
{
public:
    virtual ~SerialPort() = default;

    virtual void setTimeouts(const SerialTimeouts& timeouts) = 0;
    // Number of received bytes waiting to be read; 0 when none or on error.
    virtual std::size_t waitingCount() = 0;
    // Copies up to n waiting bytes into buffer and returns how many; never blocks.
    virtual std::size_t read(std::uint8_t* buffer, std::size_t n) = 0;
    // Writes n bytes, giving up after the write time-outs; returns how many went out.
    virtual std::size_t write(const std::uint8_t* bytes, std::size_t n) = 0;
    // Waits at most timeoutMs for input (or a hang-up); returns false when the time ran out.
    // A true result does not promise that a read yields bytes.
    virtual bool waitReadable(std::int64_t timeoutMs) = 0;
};

// Where ports come from: the real devices, or a test's own.
class SerialPortProvider
{
public:
    virtual ~SerialPortProvider() = default;

    // Opens and configures the port exclusively; nullptr when it does not exist, is held by
    // another program, or cannot take the settings.
    virtual std::unique_ptr<SerialPort> open(const SerialPortConfig& config) = 0;
    // Names the port scan tries, in the order it lists them.
    virtual std::vector<std::string> candidateNames() = 0;
};

// The termios implementation over /dev.
SerialPortProvider& posixSerialPorts();

} // namespace kalvenor
