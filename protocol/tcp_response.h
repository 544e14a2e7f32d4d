#pragma once

#include "protocol/modbus_state.h"
#include "protocol/result_code.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kalvenor {

// The byte-level half of the TCP transactions, apart from the connection.

// MBAP header, 7 bytes, big-endian: transaction id (2), protocol id (2), length (2), unit id (1).
struct MbapHeader
{
    std::uint16_t transactionId = 0;
    std::uint16_t protocolId = 0;
    std::uint16_t length = 0; // unit id + PDU
    std::uint8_t unitId = 0;
};

inline constexpr std::size_t mbapHeaderLength = 7;

// Reads the first 7 bytes of header.
MbapHeader parseMbapHeader(const std::uint8_t* header);

// Advances state.tcp.transactionId (wrapping 65535 -> 0) and builds header + pdu in
// state.tcpTxFrame with unit state.slaveId; returns the frame length, also stored in
// state.tcpTxLength. A PDU that does not fit the frame buffer builds nothing and returns 0.
std::size_t tcpBuildFrame(ModbusState& state, const std::uint8_t* pdu, std::size_t pduLength);

// Judges one response header against the request: 0 to accept it; RC_TCP_PROTOCOL_ID or
// RC_TCP_MBAP_LENGTH end the transaction at once; RC_TCP_TRANSACTION_ID or RC_TCP_UNIT_ID mean
// the response belongs elsewhere and is skipped. Checked in that order. capacity is the room
// for the response PDU, so the length may be 1 .. capacity + 1.
[[nodiscard]] ResultCode tcpCheckHeader(
    const MbapHeader& header, std::uint16_t expectedId, std::uint8_t unitId, std::size_t capacity);

// Judge an accepted response PDU of pduLength bytes; only those bytes are read. An empty PDU
// yields the function's length code, an exception PDU without its code byte RC_TCP_BAD_EXCEPTION.
// FC03/FC04: quantity, with values filled; otherwise -20, -22, -1015, -1020 or -256 - e.
[[nodiscard]] ResultCode tcpCheckReadResponse(const std::uint8_t* pdu, std::size_t pduLength,
    std::uint8_t functionCode, std::uint16_t quantity, std::vector<std::uint16_t>& values);
// FC06: 1, or -1015, -1030 or -512 - e.
[[nodiscard]] ResultCode tcpCheckWriteSingleResponse(
    const std::uint8_t* pdu, std::size_t pduLength);
// FC16: quantity, or -1015, -1040 or -768 - e.
[[nodiscard]] ResultCode tcpCheckWriteMultipleResponse(
    const std::uint8_t* pdu, std::size_t pduLength, std::size_t quantity);

} // namespace kalvenor
