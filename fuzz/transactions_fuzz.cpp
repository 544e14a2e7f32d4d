// Feeds arbitrary bytes as the reply to every RTU and TCP transaction.
//
// Input layout: byte 0 chooses the transaction (low 3 bits modulo 6: RTU read, RTU single write,
// RTU multiple write, then the same over TCP) and how the reply is cut into reads (bits 3..6);
// bytes 1 and 2 give the quantity, big-endian, used as is so the rejected counts are reached too;
// everything after is what the device sends back. The port and the connection hand out those
// bytes at once and report the end of them as a finished wait or a broken connection, so no run
// waits for a real time-out.

#include "protocol/modbus_state.h"
#include "protocol/rtu_reply.h"
#include "protocol/rtu_transaction.h"
#include "protocol/tcp_response.h"
#include "protocol/tcp_transaction.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace kalvenor;

// Serves the reply after the request has been written, at most `chunk` bytes per read.
class ReplyPort : public SerialPort
{
public:
    ReplyPort(const std::uint8_t* reply, std::size_t size, std::size_t chunk)
        : m_reply(reply)
        , m_size(size)
        , m_chunk(chunk)
    {
    }
    void setTimeouts(const SerialTimeouts&) override { }
    std::size_t waitingCount() override { return m_written ? m_size - m_position : 0; }
    std::size_t read(std::uint8_t* buffer, std::size_t n) override
    {
        const std::size_t count = std::min({n, m_chunk, waitingCount()});
        if (count > 0)
            std::memcpy(buffer, m_reply + m_position, count);
        m_position += count;
        return count;
    }
    std::size_t write(const std::uint8_t*, std::size_t n) override
    {
        m_written = true;
        return n;
    }
    bool waitReadable(std::int64_t) override { return waitingCount() > 0; }

private:
    const std::uint8_t* m_reply;
    std::size_t m_size;
    std::size_t m_chunk;
    std::size_t m_position = 0;
    bool m_written = false;
};

// Serves the response stream, at most `chunk` bytes per receive; past its end it reports a
// broken connection, which ends every wait at once.
class ResponseConnection : public TcpConnection
{
public:
    ResponseConnection(const std::uint8_t* stream, std::size_t size, std::size_t chunk)
        : m_stream(stream)
        , m_size(size)
        , m_chunk(chunk)
    {
    }
    std::int64_t send(const std::uint8_t*, std::size_t n) override
    {
        return static_cast<std::int64_t>(n);
    }
    std::int64_t receive(std::uint8_t* buffer, std::size_t n, std::int64_t) override
    {
        if (m_position == m_size)
            return -1;
        const std::size_t count = std::min({n, m_chunk, m_size - m_position});
        std::memcpy(buffer, m_stream + m_position, count);
        m_position += count;
        return static_cast<std::int64_t>(count);
    }

private:
    const std::uint8_t* m_stream;
    std::size_t m_size;
    std::size_t m_chunk;
    std::size_t m_position = 0;
};

// A result outside every code a transaction may return is a fault worth stopping for.
void checkResult(ResultCode result, std::int64_t success, const std::vector<std::uint16_t>* values)
{
    if (result >= 0) {
        if (result != success)
            std::abort();
        if (values && values->size() != static_cast<std::size_t>(success))
            std::abort();
    } else if (result < -1040) {
        std::abort();
    }
}

// The transactions collect into the long-lived ResponseBuffer, where a read past the reply
// still lands inside the array and no sanitizer sees it. So the reply is also judged from a
// heap block of exactly its own size, where any byte read beyond it is caught.
void checkExactReply(int transaction, std::uint8_t functionCode, std::uint16_t quantity,
    const std::uint8_t* reply, std::size_t size)
{
    const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[size]);
    if (size > 0)
        std::memcpy(exact.get(), reply, size);
    const std::uint8_t* bytes = exact.get();
    const auto collected = static_cast<std::int64_t>(size);
    std::vector<std::uint16_t> values;
    const bool readable = quantity >= 1 && quantity <= 125;
    const bool writable = quantity >= 1 && quantity <= 123;
    switch (transaction) {
    case 0:
        if (readable)
            checkResult(rtuCheckReadReply(bytes, collected, quantity, values), quantity, nullptr);
        break;
    case 1:
        checkResult(rtuCheckWriteSingleReply(bytes, collected), 1, nullptr);
        break;
    case 2:
        if (writable)
            checkResult(rtuCheckWriteMultipleReply(bytes, collected, quantity), quantity, nullptr);
        break;
    case 3:
        if (readable)
            checkResult(tcpCheckReadResponse(bytes, size, functionCode, quantity, values), quantity,
                nullptr);
        break;
    case 4:
        checkResult(tcpCheckWriteSingleResponse(bytes, size), 1, nullptr);
        break;
    default:
        if (writable)
            checkResult(tcpCheckWriteMultipleResponse(bytes, size, quantity), quantity, nullptr);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const int transaction = (data[0] & 0x07) % 6;
    // 0 reads everything at once, otherwise 1..15 bytes per read.
    const std::size_t chunk = (data[0] >> 3 & 0x0F) == 0 ? SIZE_MAX : (data[0] >> 3 & 0x0F);
    const auto quantity = static_cast<std::uint16_t>(data[1] << 8 | data[2]);
    const std::uint8_t* reply = data + 3;
    const std::size_t replySize = size - 3;
    const std::uint8_t functionCode = data[0] & 0x80 ? 4 : 3;
    checkExactReply(transaction, functionCode, quantity, reply, replySize);

    ModbusState state;
    state.serial.rxTimeoutMs = 1000; // never reached: the port ends every wait itself
    state.tcp.timeoutMs = 1000;
    std::vector<std::uint16_t> values;
    // The list a multiple write sends from holds exactly the requested count, as the commands
    // hand it over, so any read past it is caught.
    const std::vector<std::uint16_t> toWrite(std::min<std::size_t>(quantity, 200), 0xA55A);

    if (transaction < 3) {
        state.serial.handle = std::make_unique<ReplyPort>(reply, replySize, chunk);
        if (transaction == 0) {
            const ResultCode r = rtuReadRegisters(state, functionCode, 0x1234, quantity, values);
            checkResult(r, quantity, r >= 0 ? &values : nullptr);
        } else if (transaction == 1) {
            checkResult(rtuWriteSingleRegister(state, 0x1234, quantity), 1, nullptr);
        } else {
            checkResult(
                rtuWriteMultipleRegisters(state, 0x1234, toWrite, quantity), quantity, nullptr);
        }
        return 0;
    }

    state.tcp.connection = std::make_unique<ResponseConnection>(reply, replySize, chunk);
    if (transaction == 3) {
        const ResultCode r = tcpReadRegisters(state, functionCode, 0x1234, quantity, values);
        checkResult(r, quantity, r >= 0 ? &values : nullptr);
    } else if (transaction == 4) {
        checkResult(tcpWriteSingleRegister(state, 0x1234, quantity), 1, nullptr);
    } else {
        checkResult(tcpWriteMultipleRegisters(state, 0x1234, toWrite, quantity), quantity, nullptr);
    }
    // The frame the commands dump must always fit its buffer.
    if (state.tcpTxLength > state.tcpTxFrame.size() || state.tcpRxLength > state.tcpRxFrame.size())
        std::abort();
    return 0;
}
