#include "commands/number_parsing.h"

#include <string>

namespace kalvenor {

// Every character these functions look at is ASCII. In UTF-8 every byte of a multi-byte character
// is 0x80 or above, so working byte by byte never mistakes part of one for a digit, sign, prefix
// or separator, and gives the same numbers as working character by character.

namespace {

// Value of c as a digit of base, or -1.
int digitValue(char c, unsigned base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
}

std::string_view trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// A leading "0x"/"0X" reads as "$"; then the low 16 bits of the number.
std::uint16_t wordOf(std::string_view text)
{
    std::int64_t number;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        number = parseNumber("$" + std::string(text.substr(2)));
    else
        number = parseNumber(text);
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(number));
}

bool isSeparator(char c) { return c == ' ' || c == ',' || c == ';' || c == '\t'; }

} // namespace

std::int64_t parseNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i < text.size() && text[i] == '%') {
        base = 2;
        ++i;
    }
    // Unsigned arithmetic wraps modulo 2^64 by definition, which is exactly the wrap wanted.
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = digitValue(text[i], base);
        if (digit < 0)
            break;
        value = value * base + static_cast<std::uint64_t>(digit);
    }
    if (negative)
        value = 0 - value;
    return static_cast<std::int64_t>(value);
}

std::uint16_t parseWord(std::string_view text) { return wordOf(trimBlanks(text)); }

std::size_t parseValueList(std::string_view text, std::vector<std::uint16_t>& values)
{
    values.clear();
    std::size_t fieldStart = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isSeparator(text[i]))
            continue;
        // Separators never stay inside a field, so a field needs no trimming; empty ones (two
        // separators in a row, or one at either end) hold no value.
        if (i > fieldStart)
            values.push_back(wordOf(text.substr(fieldStart, i - fieldStart)));
        fieldStart = i + 1;
    }
    return values.size();
}

} // namespace kalvenor
