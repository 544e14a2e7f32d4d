#include "protocol/rtu_transaction.h"

#include "link/serial_link.h"
#include "protocol/crc16.h"
#include "protocol/rtu_reply.h"

namespace kalvenor {

namespace {

constexpr std::uint16_t maxReadQuantity = 125;
constexpr std::size_t maxWriteQuantity = 123;
constexpr std::int64_t exceptionReplyLength = 5; // address, function | 0x80, code, CRC (2)
// address, function, register or start address (2), value or quantity (2), CRC (2)
constexpr std::int64_t writeReplyLength = 8;

std::uint8_t high(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }
std::uint8_t low(std::uint16_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

// Appends the CRC of the first length bytes, low byte first; returns the new length.
std::size_t appendCrc(std::uint8_t* frame, std::size_t length)
{
    const std::uint16_t crc = crc16(frame, length);
    frame[length] = low(crc);
    frame[length + 1] = high(crc);
    return length + 2;
}

// True when the last two of the n bytes are the CRC of the bytes before them (n >= 2).
bool crcMatches(const std::uint8_t* reply, std::int64_t n)
{
    const auto body = static_cast<std::size_t>(n - 2);
    const std::uint16_t crc = crc16(reply, body);
    return reply[body] == low(crc) && reply[body + 1] == high(crc);
}

bool isException(const std::uint8_t* reply) { return (reply[1] & 0x80) != 0; }

std::int64_t exchange(ModbusState& state, std::size_t requestLength, std::size_t expected)
{
    return serialExchange(state.serial, state.rtuTxFrame.data(), requestLength, expected,
        state.responseBuffer.data(), state.responseBuffer.size(), state.serial.rxTimeoutMs);
}

} // namespace

std::size_t rtuBuildReadRequest(
    ModbusState& state, std::uint8_t functionCode, std::uint16_t start, std::uint16_t quantity)
{
    std::uint8_t* frame = state.rtuTxFrame.data();
    frame[0] = state.slaveId;
    frame[1] = functionCode;
    frame[2] = high(start);
    frame[3] = low(start);
    frame[4] = high(quantity);
    frame[5] = low(quantity);
    return appendCrc(frame, 6);
}

std::size_t rtuBuildWriteSingleRequest(
    ModbusState& state, std::uint16_t address, std::uint16_t value)
{
    std::uint8_t* frame = state.rtuTxFrame.data();
    frame[0] = state.slaveId;
    frame[1] = 6;
    frame[2] = high(address);
    frame[3] = low(address);
    frame[4] = high(value);
    frame[5] = low(value);
    return appendCrc(frame, 6);
}

std::size_t rtuBuildWriteMultipleRequest(ModbusState& state, std::uint16_t start,
    const std::vector<std::uint16_t>& values, std::size_t quantity)
{
    // Outside 1..123 (or beyond the values given) the frame would not fit or would read past the
    // list; nothing is built then.
    if (quantity < 1 || quantity > maxWriteQuantity || quantity > values.size())
        return 0;
    std::uint8_t* frame = state.rtuTxFrame.data();
    frame[0] = state.slaveId;
    frame[1] = 16;
    frame[2] = high(start);
    frame[3] = low(start);
    frame[4] = high(static_cast<std::uint16_t>(quantity));
    frame[5] = low(static_cast<std::uint16_t>(quantity));
    frame[6] = static_cast<std::uint8_t>(2 * quantity);
    // 7 header bytes + 2 * quantity value bytes, then the CRC: 9 + 2 * quantity in all.
    for (std::size_t i = 0; i < quantity; ++i) {
        frame[7 + 2 * i] = high(values[i]);
        frame[8 + 2 * i] = low(values[i]);
    }
    return appendCrc(frame, 7 + 2 * quantity);
}

ResultCode rtuCheckReadReply(const std::uint8_t* reply, std::int64_t collected,
    std::uint16_t quantity, std::vector<std::uint16_t>& values)
{
    // A no-port or send failure of the exchange (negative) is a short reply as well.
    if (collected < exceptionReplyLength)
        return RC_FC0304_SHORT;
    // An exception reply is recognised only at exactly its own length, before the length test.
    if (collected == exceptionReplyLength && isException(reply)) {
        if (!crcMatches(reply, collected))
            return RC_FC0304_CRC;
        const int code = reply[2];
        return isValidExceptionCode(code) ? RC_EXCEPTION_FC0304 - code : RC_RTU_BAD_EXCEPTION;
    }
    if (collected != rtuReadReplyLength(quantity))
        return RC_FC0304_SHORT;
    if (!crcMatches(reply, collected))
        return RC_FC0304_CRC;
    if (reply[2] != 2 * quantity)
        return RC_FC0304_BYTE_COUNT;
    values.resize(quantity);
    for (std::size_t i = 0; i < quantity; ++i)
        values[i] = static_cast<std::uint16_t>(reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
    return quantity;
}

ResultCode rtuCheckWriteSingleReply(const std::uint8_t* reply, std::int64_t collected)
{
    if (collected < exceptionReplyLength)
        return RC_FC06_SHORT;
    // The CRC is judged over whatever arrived, before the exception bit and the length.
    if (!crcMatches(reply, collected))
        return RC_FC06_CRC;
    // Every exception byte counts here, valid or not.
    if (isException(reply))
        return RC_EXCEPTION_FC06 - reply[2];
    if (collected != writeReplyLength)
        return RC_FC06_LENGTH;
    return 1;
}

ResultCode rtuCheckWriteMultipleReply(
    const std::uint8_t* reply, std::int64_t collected, std::size_t quantity)
{
    if (collected < exceptionReplyLength)
        return RC_FC16_SHORT;
    if (!crcMatches(reply, collected))
        return RC_FC16_CRC;
    if (isException(reply)) {
        const int code = reply[2];
        return isValidExceptionCode(code) ? RC_EXCEPTION_FC16 - code : RC_RTU_BAD_EXCEPTION;
    }
    if (collected != writeReplyLength)
        return RC_FC16_LENGTH;
    return static_cast<ResultCode>(quantity);
}

ResultCode rtuReadRegisters(ModbusState& state, std::uint8_t functionCode, std::uint16_t start,
    std::uint16_t quantity, std::vector<std::uint16_t>& values)
{
    if (quantity == 0 || quantity > maxReadQuantity)
        return RC_BAD_READ_COUNT;
    const std::size_t length = rtuBuildReadRequest(state, functionCode, start, quantity);
    const auto expected = static_cast<std::size_t>(rtuReadReplyLength(quantity));
    const std::int64_t collected = exchange(state, length, expected);
    return rtuCheckReadReply(state.responseBuffer.data(), collected, quantity, values);
}

ResultCode rtuWriteSingleRegister(ModbusState& state, std::uint16_t address, std::uint16_t value)
{
    const std::size_t length = rtuBuildWriteSingleRequest(state, address, value);
    const std::int64_t collected = exchange(state, length, writeReplyLength);
    return rtuCheckWriteSingleReply(state.responseBuffer.data(), collected);
}

ResultCode rtuWriteMultipleRegisters(ModbusState& state, std::uint16_t start,
    const std::vector<std::uint16_t>& values, std::size_t quantity)
{
    // A quantity beyond the list handed in is refused like any other bad count: the frame would
    // otherwise carry bytes from past the end of the list.
    if (quantity < 1 || quantity > maxWriteQuantity || quantity > values.size())
        return RC_BAD_WRITE_COUNT;
    const std::size_t length = rtuBuildWriteMultipleRequest(state, start, values, quantity);
    const std::int64_t collected = exchange(state, length, writeReplyLength);
    return rtuCheckWriteMultipleReply(state.responseBuffer.data(), collected, quantity);
}

} // namespace kalvenor
