#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kalvenor {

// Texts are UTF-8; only the ASCII characters named below count, so the results are those of the
// same text taken as 16-bit characters. None of these ever fails.

// Blanks and tabs, one sign, then "$" hex, "%" binary or decimal digits up to the first other
// character; wraps modulo 2^64; no digit gives 0.
std::int64_t parseNumber(std::string_view text);

// Trims blanks (not tabs), reads a leading "0x"/"0X" as "$", converts with parseNumber and keeps
// the low 16 bits.
std::uint16_t parseWord(std::string_view text);

// Splits at blanks, tabs, "," and ";", converts every non-empty field like parseWord, replaces
// values with the results and returns their count.
std::size_t parseValueList(std::string_view text, std::vector<std::uint16_t>& values);

} // namespace kalvenor
