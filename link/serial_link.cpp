#include "link/serial_link.h"

#include "link/clock.h"
#include "protocol/result_code.h"

#include <algorithm>

namespace kalvenor {

bool serialOpen(SerialSettings& serial)
{
    serialClose(serial);
    if (serial.ports == nullptr)
        return false;

    SerialPortConfig config;
    config.name = serial.portName;
    config.baudRate = serial.baudRate;
    config.parity = serial.parity;
    config.dataBits = serial.dataBits;
    config.stopBits = serial.stopBits;
    config.handshake = serial.handshake;
    config.inputBufferSize = 4096;
    config.outputBufferSize = 4096;

    std::unique_ptr<SerialPort> port = serial.ports->open(config);
    if (!port)
        return false;
    serial.handle = std::move(port);
    serialApplyTimeouts(serial);
    serialDrain(serial);
    return true;
}

void serialClose(SerialSettings& serial) { serial.handle.reset(); }

void serialDrain(SerialSettings& serial)
{
    if (!serial.handle)
        return;
    std::uint8_t scratch[513];
    for (;;) {
        const std::size_t waiting = serial.handle->waitingCount();
        if (waiting == 0)
            return;
        // A port that claims bytes yet yields none would keep this loop going for ever.
        if (serial.handle->read(scratch, std::min(waiting, sizeof scratch)) == 0)
            return;
    }
}

void serialApplyTimeouts(SerialSettings& serial)
{
    if (!serial.handle)
        return;
    SerialTimeouts timeouts;
    timeouts.readIntervalMs = serial.readIntervalMs;
    timeouts.readTotalConstantMs = serial.rxTimeoutMs;
    timeouts.readTotalPerByteMs = serial.readPerByteMs;
    timeouts.writeTotalConstantMs = serial.writeTimeoutMs;
    timeouts.writeTotalPerByteMs = serial.writePerByteMs;
    serial.handle->setTimeouts(timeouts);
}

std::int64_t serialExchange(SerialSettings& serial, const std::uint8_t* request,
    std::size_t requestLength, std::size_t expected, std::uint8_t* response, std::size_t capacity,
    std::int64_t timeoutMs)
{
    if (!serial.handle)
        return RC_NO_PORT;
    serialDrain(serial);
    if (serial.handle->write(request, requestLength) < requestLength)
        return RC_SEND_FAILED;

    // The reply time-out is one total from the end of the write, with no gap detection. Instead
    // of polling the waiting count every millisecond, the wait for input is a poll bounded by the
    // time left, so a reply is taken the moment it lands. A read is only tried once the port
    // polled ready: right after the write, or right after taking what had arrived, it would only
    // find nothing and cost a system call per chunk of the reply.
    const std::int64_t start = monotonicMs();
    std::size_t collected = 0;
    while (collected < capacity) {
        const std::int64_t left = timeoutMs - (monotonicMs() - start);
        if (left <= 0 || !serial.handle->waitReadable(left))
            break;
        const std::size_t got = serial.handle->read(response + collected, capacity - collected);
        collected += got;
        if (collected >= expected)
            break;
        // A device that vanished (USB adapter pulled, pty hung up) polls ready for ever and
        // yields nothing: pause so the rest of the time-out does not burn a core.
        if (got == 0)
            sleepMs(1);
    }
    return static_cast<std::int64_t>(collected);
}

} // namespace kalvenor
