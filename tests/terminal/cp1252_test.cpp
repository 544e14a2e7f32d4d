#include "terminal/terminal.h"

#include <gtest/gtest.h>

#include <vector>

namespace kalvenor {
namespace {

std::string decode(const std::vector<std::uint8_t>& bytes)
{
    return decodeCp1252(bytes.data(), bytes.size());
}

std::string bytesOf(std::initializer_list<int> values)
{
    std::string bytes;
    for (int v : values)
        bytes += static_cast<char>(v);
    return bytes;
}

TEST(Cp1252, EveryByteDecodesAndEncodesBackToItself)
{
    for (int b = 0; b < 256; ++b) {
        const std::uint8_t byte = static_cast<std::uint8_t>(b);
        std::string text = decodeCp1252(&byte, 1);
        EXPECT_EQ(encodeCp1252(text), std::string(1, static_cast<char>(byte))) << "byte " << b;
    }
}

struct Mapping
{
    int byte;
    const char* utf8;
};

// The Windows block, both edges of Latin-1 and the undefined bytes that stand for C1 controls.
const Mapping mappings[] = {
    {0x41, "A"},
    {0x80, "\u20AC"}, // euro sign
    {0x81, "\u0081"}, // undefined in the code page
    {0x8A, "\u0160"},
    {0x8D, "\u008D"},
    {0x8F, "\u008F"},
    {0x90, "\u0090"},
    {0x91, "\u2018"},
    {0x96, "\u2013"}, // en dash
    {0x99, "\u2122"},
    {0x9D, "\u009D"},
    {0x9F, "\u0178"},
    {0xA0, "\u00A0"},
    {0xDF, "\u00DF"},
    {0xFC, "\u00FC"},
    {0xFF, "\u00FF"},
};

TEST(Cp1252, WindowsBlockAndLatin1MapBothWays)
{
    for (const Mapping& m : mappings) {
        EXPECT_EQ(decode({static_cast<std::uint8_t>(m.byte)}), m.utf8) << "byte " << m.byte;
        EXPECT_EQ(encodeCp1252(m.utf8), bytesOf({m.byte})) << "byte " << m.byte;
    }
}

TEST(Cp1252, GermanTextWithEuroSign)
{
    const std::string bytes = bytesOf({0x47, 0x72, 0xFC, 0xDF, 0x65, 0x20, 0x80});
    EXPECT_EQ(encodeCp1252("Grüße €"), bytes);
    EXPECT_EQ(decode({0x47, 0x72, 0xFC, 0xDF, 0x65, 0x20, 0x80}), "Grüße €");
}

struct Unrepresentable
{
    const char* utf8;
    const char* expected;
};

TEST(Cp1252, WhatTheCodePageLacksBecomesQuestionMark)
{
    const Unrepresentable cases[] = {
        {"\u0100", "?"}, // Latin Extended-A
        {"a\u2192b", "a?b"}, // arrow between two letters
        {"\u0080", "?"}, // a C1 control whose byte the code page gives to the euro sign
        {"\u4E2D\u6587", "??"},
        {"\U0001F600", "?"}, // outside the Basic Multilingual Plane: one character, one '?'
        {"\xFF", "?"}, // not UTF-8 at all
        {"x\xC3", "x?"}, // sequence cut short
        {"\xC0\xAF", "??"}, // overlong '/'
        {"\xED\xA0\x80", "???"}, // encoded surrogate
    };
    for (const Unrepresentable& c : cases)
        EXPECT_EQ(encodeCp1252(c.utf8), c.expected) << c.utf8;
}

TEST(Cp1252, EmptyInEmptyOut)
{
    EXPECT_EQ(encodeCp1252(""), "");
    EXPECT_EQ(decodeCp1252(nullptr, 0), "");
}

} // namespace
} // namespace kalvenor
