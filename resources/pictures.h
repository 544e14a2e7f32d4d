#pragma once

#include <cstdint>
#include <span>

namespace kalvenor {

// The pictures held in the program, as the file bytes they were made from.
extern const std::span<const std::uint8_t> AppIconData; // icon file, one 32 x 32 16-colour image
extern const std::span<const std::uint8_t> LogoImageData; // baseline JPEG, 200 x 47
extern const std::span<const std::uint8_t> DonateImageData; // GIF, 98 x 26

} // namespace kalvenor
