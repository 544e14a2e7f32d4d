#include "protocol/tcp_transaction.h"

#include "link/tcp_link.h"
#include "protocol/crc16.h"
#include "protocol/tcp_response.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kalvenor {

namespace {

constexpr std::uint16_t maxReadQuantity = 125;
constexpr std::size_t maxWriteQuantity = 123;
// function, register or start address (2), value or quantity (2)
constexpr std::size_t writeResponseLength = 5;
// A response that is not ours is still read to its end, but only this long.
constexpr std::int64_t discardTimeoutMs = 50;
constexpr int attempts = 2;

std::uint8_t high(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }
std::uint8_t low(std::uint16_t value) { return static_cast<std::uint8_t>(value & 0xFF); }
std::uint16_t word(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

bool isException(const std::uint8_t* pdu) { return (pdu[0] & 0x80) != 0; }

// An exception PDU: base - e for a valid code e; a missing or invalid code means the stream
// is out of step.
ResultCode exceptionResult(const std::uint8_t* pdu, std::size_t pduLength, ResultCode base)
{
    if (pduLength < 2 || !isValidExceptionCode(pdu[1]))
        return RC_TCP_BAD_EXCEPTION;
    return base - pdu[1];
}

} // namespace

MbapHeader parseMbapHeader(const std::uint8_t* header)
{
    MbapHeader parsed;
    parsed.transactionId = word(header);
    parsed.protocolId = word(header + 2);
    parsed.length = word(header + 4);
    parsed.unitId = header[6];
    return parsed;
}

std::size_t tcpBuildFrame(ModbusState& state, const std::uint8_t* pdu, std::size_t pduLength)
{
    if (mbapHeaderLength + pduLength > state.tcpTxFrame.size())
        return 0;
    const std::uint16_t id = ++state.tcp.transactionId; // unsigned 16-bit: 65535 wraps to 0
    std::uint8_t* frame = state.tcpTxFrame.data();
    const auto length = static_cast<std::uint16_t>(pduLength + 1);
    frame[0] = high(id);
    frame[1] = low(id);
    frame[2] = 0;
    frame[3] = 0;
    frame[4] = high(length);
    frame[5] = low(length);
    frame[6] = state.slaveId;
    if (pduLength > 0)
        std::memcpy(frame + mbapHeaderLength, pdu, pduLength);
    state.tcpTxLength = mbapHeaderLength + pduLength;
    return state.tcpTxLength;
}

ResultCode tcpCheckHeader(
    const MbapHeader& header, std::uint16_t expectedId, std::uint8_t unitId, std::size_t capacity)
{
    if (header.protocolId != 0)
        return RC_TCP_PROTOCOL_ID;
    if (header.length == 0 || header.length - 1u > capacity)
        return RC_TCP_MBAP_LENGTH;
    if (header.transactionId != expectedId)
        return RC_TCP_TRANSACTION_ID;
    if (header.unitId != unitId)
        return RC_TCP_UNIT_ID;
    return 0;
}

ResultCode tcpCheckReadResponse(const std::uint8_t* pdu, std::size_t pduLength,
    std::uint8_t functionCode, std::uint16_t quantity, std::vector<std::uint16_t>& values)
{
    if (pduLength == 0)
        return RC_FC0304_SHORT;
    if (isException(pdu))
        return exceptionResult(pdu, pduLength, RC_EXCEPTION_FC0304);
    if (pdu[0] != functionCode)
        return RC_FC0304_LENGTH;
    if (pduLength < 2)
        return RC_FC0304_SHORT;
    const std::size_t byteCount = pdu[1];
    if (byteCount != 2u * quantity)
        return RC_TCP_FC0304_BYTE_COUNT;
    if (pduLength != byteCount + 2)
        return RC_FC0304_SHORT;
    values.resize(quantity);
    for (std::size_t i = 0; i < quantity; ++i)
        values[i] = word(pdu + 2 + 2 * i);
    return quantity;
}

ResultCode tcpCheckWriteSingleResponse(const std::uint8_t* pdu, std::size_t pduLength)
{
    if (pduLength == 0)
        return RC_TCP_FC06_LENGTH;
    if (isException(pdu))
        return exceptionResult(pdu, pduLength, RC_EXCEPTION_FC06);
    if (pduLength == writeResponseLength && pdu[0] == 6)
        return 1;
    return RC_TCP_FC06_LENGTH;
}

ResultCode tcpCheckWriteMultipleResponse(
    const std::uint8_t* pdu, std::size_t pduLength, std::size_t quantity)
{
    if (pduLength == 0)
        return RC_TCP_FC16_LENGTH;
    if (isException(pdu))
        return exceptionResult(pdu, pduLength, RC_EXCEPTION_FC16);
    if (pduLength == writeResponseLength && pdu[0] == 16)
        return static_cast<ResultCode>(quantity);
    return RC_TCP_FC16_LENGTH;
}

ResultCode tcpTransact(ModbusState& state, const std::uint8_t* pdu, std::size_t pduLength,
    std::uint8_t* response, std::size_t capacity)
{
    TcpSettings& tcp = state.tcp;
    if (!tcp.connection)
        return RC_TCP_NOT_CONNECTED;
    // The accepted PDU is received behind the header in tcpRxFrame, so that frame bounds it too.
    capacity = std::min(capacity, state.tcpRxFrame.size() - mbapHeaderLength);

    const std::size_t frameLength = tcpBuildFrame(state, pdu, pduLength);
    if (frameLength == 0)
        return RC_TCP_SEND_FAILED;
    const std::uint16_t requestId = tcp.transactionId;
    const std::int64_t sent = tcpSend(tcp, state.tcpTxFrame.data(), frameLength);
    if (sent != static_cast<std::int64_t>(frameLength))
        return RC_TCP_SEND_FAILED;

    std::uint8_t* header = state.tcpRxFrame.data();
    std::uint8_t* body = header + mbapHeaderLength;
    ResultCode skipped = 0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const std::int64_t got = tcpReceiveExact(tcp, header, mbapHeaderLength, tcp.timeoutMs);
        if (got < 0)
            return got;
        if (got != static_cast<std::int64_t>(mbapHeaderLength))
            return RC_TCP_TIMEOUT;

        const MbapHeader parsed = parseMbapHeader(header);
        const ResultCode verdict = tcpCheckHeader(parsed, requestId, state.slaveId, capacity);
        const std::size_t remaining = parsed.length - 1u;
        if (verdict == RC_TCP_TRANSACTION_ID || verdict == RC_TCP_UNIT_ID) {
            // A late answer to an earlier request, or one for another unit: read it to its end
            // so the next header lines up, and try once more.
            (void)tcpReceiveExact(tcp, body, remaining, discardTimeoutMs);
            skipped = verdict;
            continue;
        }
        if (verdict < 0)
            return verdict;

        const std::int64_t bodyGot = tcpReceiveExact(tcp, body, remaining, tcp.timeoutMs);
        if (bodyGot < 0)
            return bodyGot;
        if (bodyGot != static_cast<std::int64_t>(remaining))
            return RC_TCP_TIMEOUT;
        state.tcpRxLength = mbapHeaderLength + remaining;
        if (remaining > 0)
            std::memcpy(response, body, remaining);
        return static_cast<ResultCode>(remaining);
    }
    return skipped;
}

ResultCode tcpReadRegisters(ModbusState& state, std::uint8_t functionCode, std::uint16_t start,
    std::uint16_t quantity, std::vector<std::uint16_t>& values)
{
    if (quantity == 0 || quantity > maxReadQuantity)
        return RC_BAD_READ_COUNT;
    const std::array<std::uint8_t, 5> pdu {
        functionCode, high(start), low(start), high(quantity), low(quantity)};
    const ResultCode length = tcpTransact(
        state, pdu.data(), pdu.size(), state.responseBuffer.data(), state.responseBuffer.size());
    if (length < 0)
        return length;
    return tcpCheckReadResponse(state.responseBuffer.data(), static_cast<std::size_t>(length),
        functionCode, quantity, values);
}

ResultCode tcpWriteSingleRegister(ModbusState& state, std::uint16_t address, std::uint16_t value)
{
    const std::array<std::uint8_t, 5> pdu {6, high(address), low(address), high(value), low(value)};
    const ResultCode length = tcpTransact(
        state, pdu.data(), pdu.size(), state.responseBuffer.data(), state.responseBuffer.size());
    if (length < 0)
        return length;
    return tcpCheckWriteSingleResponse(
        state.responseBuffer.data(), static_cast<std::size_t>(length));
}

ResultCode tcpWriteMultipleRegisters(ModbusState& state, std::uint16_t start,
    const std::vector<std::uint16_t>& values, std::size_t quantity)
{
    // A quantity beyond the list handed in is refused like any other bad count.
    if (quantity < 1 || quantity > maxWriteQuantity || quantity > values.size())
        return RC_BAD_WRITE_COUNT;
    // 16, start (2), quantity (2), byte count, then 2 * quantity value bytes.
    std::array<std::uint8_t, 6 + 2 * maxWriteQuantity> pdu {};
    pdu[0] = 16;
    pdu[1] = high(start);
    pdu[2] = low(start);
    pdu[3] = high(static_cast<std::uint16_t>(quantity));
    pdu[4] = low(static_cast<std::uint16_t>(quantity));
    pdu[5] = static_cast<std::uint8_t>(2 * quantity);
    for (std::size_t i = 0; i < quantity; ++i) {
        pdu[6 + 2 * i] = high(values[i]);
        pdu[7 + 2 * i] = low(values[i]);
    }
    const ResultCode length = tcpTransact(state, pdu.data(), 6 + 2 * quantity,
        state.responseBuffer.data(), state.responseBuffer.size());
    if (length < 0)
        return length;
    return tcpCheckWriteMultipleResponse(
        state.responseBuffer.data(), static_cast<std::size_t>(length), quantity);
}

} // namespace kalvenor
