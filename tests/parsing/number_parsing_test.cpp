#include "commands/number_parsing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kalvenor {
namespace {

struct NumberCase
{
    std::string text;
    std::int64_t expected;
};

TEST(ParseNumber, BasesSignsAndStops)
{
    // clang-format off
    const std::vector<NumberCase> cases = {
        { "0",                     0 },
        { "123",                   123 },
        { " \t 42",                42 },  // blanks and tabs before the number are skipped
        { "-17",                   -17 },
        { "+17",                   17 },
        { "- 5",                   0 },   // no blank after the sign
        { "--5",                   0 },   // one sign only
        { "$FF",                   255 },
        { "$ff",                   255 },
        { "$7fFfFfFfFfFfFfFf",     INT64_MAX },
        { "-$10",                  -16 },
        { "$-5",                   0 },   // the sign must come first
        { "%101",                  5 },
        { "%102",                  2 },   // stops at the first non-binary digit
        { "%",                     0 },
        { "$",                     0 },
        { "$G",                    0 },
        { "12abc",                 12 },
        { "1e3",                   1 },
        { "abc",                   0 },
        { "",                      0 },
        { "   ",                   0 },
        { "42 ",                   42 },
        { "0x10",                  0 },   // the 0x prefix is parseWord's, not this one's
        { "9223372036854775807",   INT64_MAX },
        { "9223372036854775808",   INT64_MIN }, // wraps, no overflow trap
        { "-9223372036854775808",  INT64_MIN },
        { "18446744073709551615",  -1 },
        { "18446744073709551616",  0 },
        { "99999999999999999999",  7766279631452241919 },
        { "$10000000000000001",    1 },   // 17 hex digits: the top one falls off
        { "%11111111111111111111111111111111111111111111111111111111111111111", -1 },
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(parseNumber(c.text), c.expected) << "[" << c.text << "]";
}

TEST(ParseNumber, OnlyAsciiCounts)
{
    // Full-width digits and a non-breaking space are not digits or blanks; a multi-byte
    // character after digits ends the number like any other character.
    EXPECT_EQ(parseNumber("\xEF\xBC\x91\xEF\xBC\x92"), 0); // U+FF11 U+FF12
    EXPECT_EQ(parseNumber("\xC2\xA0"
                          "5"),
        0); // U+00A0 then 5
    EXPECT_EQ(parseNumber("12\xC3\xA4"
                          "3"),
        12); // 12, U+00E4, 3
    EXPECT_EQ(parseNumber(std::string("7\0"
                                      "8",
                  3)),
        7);
}

struct WordCase
{
    std::string text;
    std::uint16_t expected;
};

TEST(ParseWord, FieldTexts)
{
    // clang-format off
    const std::vector<WordCase> cases = {
        { " 100 ",                 100 },
        { "0x1F",                  31 },
        { "0X1f",                  31 },
        { "  0x1F  ",              31 },  // blanks go before the prefix is looked for
        { "$FF",                   255 },
        { "%101",                  5 },
        { "-1",                    65535 },
        { "70000",                 4464 },
        { "65535",                 65535 },
        { "65536",                 0 },
        { "12abc",                 12 },
        { "abc",                   0 },
        { "",                      0 },
        { "0x",                    0 },
        { "0",                     0 },
        { "0y5",                   0 },
        { "1e3",                   1 },
        { "+5",                    5 },
        { "- 5",                   0 },
        { "-0x10",                 0 },   // the prefix counts only at the very start
        { "0x-5",                  0 },
        { "\t0x10",                0 },   // the tab is not trimmed, so no prefix
        { "0x10\t",                16 },
        { "\t10",                  10 },  // but parseNumber itself skips it
        { "99999999999999999999",  65535 },
        { "-65536",                0 },
        { "-$8000",                32768 },
        { "0xFFFF0012",            0x0012 },
        { "0x$5",                  0 },
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(parseWord(c.text), c.expected) << "[" << c.text << "]";
}

struct ListCase
{
    std::string text;
    std::vector<std::uint16_t> expected;
};

TEST(ParseValueList, SeparatorsAndFields)
{
    // clang-format off
    const std::vector<ListCase> cases = {
        { "10,20,30",                 { 10, 20, 30 } },
        { "10, 20 ;30\t40",           { 10, 20, 30, 40 } },
        { "10,,20",                   { 10, 20 } },
        { ",,,",                      {} },
        { "",                         {} },
        { " ",                        {} },
        { "\t;\t",                    {} },
        { "a,b",                      { 0, 0 } },
        { "0x10;$20;%11",             { 16, 32, 3 } },
        { "70000,-1",                 { 4464, 65535 } },
        { " 7 ",                      { 7 } },
        { ",5,",                      { 5 } },
        { "\t0x10",                   { 16 } },  // here the tab is a separator
        { "1x2,0X0a",                 { 1, 10 } },
        { "12abc;-0x10",              { 12, 0 } },
        { "1\r\n2",                   { 1 } },   // CR and LF are not separators: "1\r\n2" is one field
    };
    // clang-format on
    for (const auto& c : cases) {
        std::vector<std::uint16_t> values {1, 2, 3, 4, 5, 6, 7, 8, 9}; // earlier contents
        const std::size_t count = parseValueList(c.text, values);
        EXPECT_EQ(count, c.expected.size()) << "[" << c.text << "]";
        EXPECT_EQ(values, c.expected) << "[" << c.text << "]";
    }
}

TEST(ParseValueList, HasNoUpperLimit)
{
    std::string text;
    std::vector<std::uint16_t> expected;
    for (int i = 0; i < 1000; ++i) {
        text += std::to_string(i * 70) + (i % 3 == 0 ? "," : i % 3 == 1 ? "; " : "\t");
        expected.push_back(static_cast<std::uint16_t>(i * 70));
    }
    std::vector<std::uint16_t> values;
    EXPECT_EQ(parseValueList(text, values), 1000u);
    EXPECT_EQ(values, expected);
}

} // namespace
} // namespace kalvenor
