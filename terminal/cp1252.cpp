#include "terminal/terminal.h"

#include <array>

namespace kalvenor {

namespace {

// Code points of the bytes 0x80..0x9F. The five bytes Windows leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) stand for the C1 control of the same number, so every byte decodes to
// something and encodes back to itself.
// clang-format off
constexpr std::array<char32_t, 32> windowsBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
// clang-format on

constexpr char replacement = '?';

char32_t codePointOf(std::uint8_t byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return windowsBlock[byte - 0x80];
    return byte; // ASCII and 0xA0..0xFF coincide with Latin-1
}

// The byte for a code point, or the replacement when the code page has none.
char byteOf(char32_t codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<char>(codePoint);
    for (std::size_t i = 0; i < windowsBlock.size(); ++i) {
        if (windowsBlock[i] == codePoint)
            return static_cast<char>(0x80 + i);
    }
    return replacement;
}

void appendUtf8(std::string& text, char32_t cp)
{
    if (cp < 0x80) {
        text += static_cast<char>(cp);
    } else if (cp < 0x800) {
        text += static_cast<char>(0xC0 | (cp >> 6));
        text += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        // Everything the code page yields lies in the Basic Multilingual Plane.
        text += static_cast<char>(0xE0 | (cp >> 12));
        text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Reads one UTF-8 sequence at text[pos]; advances pos past it. A malformed sequence (stray
// continuation byte, truncated, overlong, surrogate, above U+10FFFF) consumes one byte and
// yields a value the code page never maps, so it becomes the replacement as well.
char32_t nextCodePoint(const std::string& text, std::size_t& pos)
{
    constexpr char32_t invalid = 0xFFFFFFFF;
    auto lead = static_cast<std::uint8_t>(text[pos]);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++pos;
        return invalid;
    }
    if (text.size() - pos < length) {
        ++pos;
        return invalid;
    }
    for (std::size_t i = 1; i < length; ++i) {
        auto next = static_cast<std::uint8_t>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return invalid;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return invalid;
    }
    pos += length;
    return cp;
}

} // namespace

std::string encodeCp1252(const std::string& utf8)
{
    std::string bytes;
    bytes.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size())
        bytes += byteOf(nextCodePoint(utf8, pos));
    return bytes;
}

std::string decodeCp1252(const std::uint8_t* bytes, std::size_t count)
{
    std::string text;
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        appendUtf8(text, codePointOf(bytes[i]));
    return text;
}

} // namespace kalvenor
