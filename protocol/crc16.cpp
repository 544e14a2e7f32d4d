#include "protocol/crc16.h"

namespace kalvenor {

std::uint16_t crc16(const std::uint8_t* bytes, std::size_t length)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            if (crc & 1)
                crc = static_cast<std::uint16_t>((crc >> 1) ^ 0xA001);
            else
                crc = static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

bool isValidExceptionCode(int code)
{
    switch (code) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 8: case 10: case 11:
        return true;
    default:
        return false;
    }
}

} // namespace kalvenor
