#pragma once

namespace kalvenor {

inline constexpr const char* MakerWebAddress = "https://kalvenor.example.org/";
inline constexpr const char* DonationWebAddress = "https://kalvenor.example.org/spenden";

} // namespace kalvenor
