#pragma once

#include <cstddef>
#include <cstdint>

namespace kalvenor {

// CRC-16/MODBUS over the first length bytes (start 0xFFFF, polynomial 0xA001 reflected, no final
// XOR). Sent low byte first.
std::uint16_t crc16(const std::uint8_t* bytes, std::size_t length);

// True exactly for the exception codes 1, 2, 3, 4, 5, 6, 8, 10 and 11.
bool isValidExceptionCode(int code);

} // namespace kalvenor
