#pragma once

#include <cstdint>
#include <string>

namespace kalvenor {

// Outcome of every Modbus transaction: 0 or more is success (registers read, 1 for a single
// write, registers written for a multiple write); negative values name the failure.
using ResultCode = std::int64_t;

// clang-format off
inline constexpr ResultCode RC_NO_PORT               = -1;
inline constexpr ResultCode RC_SEND_FAILED           = -2;
inline constexpr ResultCode RC_BAD_READ_COUNT        = -10;
inline constexpr ResultCode RC_FC0304_SHORT          = -20;
inline constexpr ResultCode RC_FC0304_CRC            = -21;
inline constexpr ResultCode RC_FC0304_LENGTH         = -22;
inline constexpr ResultCode RC_FC0304_BYTE_COUNT     = -23;
inline constexpr ResultCode RC_FC06_SHORT            = -30;
inline constexpr ResultCode RC_FC06_CRC              = -31;
inline constexpr ResultCode RC_FC06_LENGTH           = -32;
inline constexpr ResultCode RC_BAD_WRITE_COUNT       = -40;
inline constexpr ResultCode RC_FC16_SHORT            = -41;
inline constexpr ResultCode RC_FC16_CRC              = -42;
inline constexpr ResultCode RC_FC16_LENGTH           = -43;
inline constexpr ResultCode RC_RTU_BAD_EXCEPTION     = -52;
inline constexpr ResultCode RC_TCP_NOT_CONNECTED     = -1000;
inline constexpr ResultCode RC_TCP_SEND_FAILED       = -1001;
inline constexpr ResultCode RC_TCP_TIMEOUT           = -1010;
inline constexpr ResultCode RC_TCP_PROTOCOL_ID       = -1011;
inline constexpr ResultCode RC_TCP_MBAP_LENGTH       = -1012;
inline constexpr ResultCode RC_TCP_CONNECTION_LOST   = -1013;
inline constexpr ResultCode RC_TCP_TRANSACTION_ID    = -1014;
inline constexpr ResultCode RC_TCP_BAD_EXCEPTION     = -1015;
inline constexpr ResultCode RC_TCP_UNIT_ID           = -1016;
inline constexpr ResultCode RC_TCP_FC0304_BYTE_COUNT = -1020;
inline constexpr ResultCode RC_TCP_FC06_LENGTH       = -1030;
inline constexpr ResultCode RC_TCP_FC16_LENGTH       = -1040;

// Exception bands: the device answered with exception code e (0..255); the code is base - e.
inline constexpr ResultCode RC_EXCEPTION_FC0304      = -256;
inline constexpr ResultCode RC_EXCEPTION_FC06        = -512;
inline constexpr ResultCode RC_EXCEPTION_FC16        = -768;
// clang-format on

// The German text the operator sees for any code; never fails (unknown codes: "Fehler <code>").
std::string resultMessage(ResultCode code);

// Name of a Modbus exception code, e.g. "ILLEGAL DATA ADDRESS (02)"; others "EXC <decimal>".
std::string exceptionText(int exceptionCode);

} // namespace kalvenor
