#include "protocol/crc16.h"
#include "protocol/rtu_reply.h"
#include "protocol/rtu_transaction.h"
#include "scripted_links.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kalvenor {
namespace {

using test::Bytes;
using test::ScriptedSerialPort;

Bytes withCrc(Bytes frame)
{
    const std::uint16_t crc = crc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

Bytes txFrame(const ModbusState& state, std::size_t length)
{
    return Bytes(state.rtuTxFrame.begin(), state.rtuTxFrame.begin() + length);
}

TEST(RtuRequest, ExampleFramesByteForByte)
{
    ModbusState state;
    EXPECT_EQ(txFrame(state, rtuBuildReadRequest(state, 3, 0, 2)),
        (Bytes {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}));
    EXPECT_EQ(txFrame(state, rtuBuildReadRequest(state, 4, 0, 2)),
        (Bytes {0x01, 0x04, 0x00, 0x00, 0x00, 0x02, 0x71, 0xCB}));
    EXPECT_EQ(txFrame(state, rtuBuildWriteSingleRequest(state, 1, 3)),
        (Bytes {0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B}));
    EXPECT_EQ(txFrame(state, rtuBuildWriteMultipleRequest(state, 0, {10, 20, 30}, 3)),
        (Bytes {0x01, 0x10, 0x00, 0x00, 0x00, 0x03, 0x06, 0x00, 0x0A, 0x00, 0x14, 0x00, 0x1E, 0xBE,
            0x8D}));
}

TEST(RtuRequest, FieldsAreBigEndianAndTheAddressIsTheSlaveId)
{
    ModbusState state;
    state.slaveId = 247;
    EXPECT_EQ(txFrame(state, rtuBuildReadRequest(state, 3, 0xABCD, 0x007D)),
        withCrc({0xF7, 0x03, 0xAB, 0xCD, 0x00, 0x7D}));
    EXPECT_EQ(txFrame(state, rtuBuildWriteSingleRequest(state, 0xFFFF, 0x1234)),
        withCrc({0xF7, 0x06, 0xFF, 0xFF, 0x12, 0x34}));
}

TEST(RtuRequest, LargestWriteIs255BytesAndOnlyTheGivenQuantityIsSent)
{
    ModbusState state;
    std::vector<std::uint16_t> values(130);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::uint16_t>(0x0100 * i + i);
    const std::size_t length = rtuBuildWriteMultipleRequest(state, 0x0102, values, 123);
    ASSERT_EQ(length, 255u);
    const Bytes frame = txFrame(state, length);
    EXPECT_EQ(frame[4], 0x00);
    EXPECT_EQ(frame[5], 123);
    EXPECT_EQ(frame[6], 246);
    EXPECT_EQ(frame[7 + 2 * 122], 122); // last value, high byte
    EXPECT_EQ(frame[8 + 2 * 122], 122);
    EXPECT_EQ(withCrc(Bytes(frame.begin(), frame.end() - 2)), frame);
}

TEST(RtuRequest, WriteMultipleBuilderRefusesQuantitiesThatDoNotFit)
{
    ModbusState state;
    const std::vector<std::uint16_t> values(130, 7);
    EXPECT_EQ(rtuBuildWriteMultipleRequest(state, 0, values, 0), 0u);
    EXPECT_EQ(rtuBuildWriteMultipleRequest(state, 0, values, 124), 0u);
    EXPECT_EQ(rtuBuildWriteMultipleRequest(state, 0, {1, 2}, 3), 0u);
}

struct ReplyCase
{
    std::string name;
    Bytes reply;
    std::int64_t collected; // -1 and -2 stand for the exchange's own failures
    ResultCode expected;
};

Bytes exceptionReply(std::uint8_t function, std::uint8_t code)
{
    return withCrc({0x01, static_cast<std::uint8_t>(function | 0x80), code});
}

Bytes corruptLast(Bytes frame)
{
    frame.back() ^= 0x01;
    return frame;
}

// The reply table for a read of 2 registers: the order of the checks decides each code.
TEST(RtuReadReply, MalformedRepliesYieldTheirCodes)
{
    const Bytes good {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E};
    Bytes goodPlusOne = good;
    goodPlusOne.push_back(0x00);
    // clang-format off
    const std::vector<ReplyCase> cases = {
        { "no port",                      {},                                   -1, -20 },
        { "send failed",                  {},                                   -2, -20 },
        { "nothing",                      {},                                    0, -20 },
        { "four bytes",                   { 0x01, 0x83, 0x02, 0xC0 },            4, -20 },
        { "exception 2",                  { 0x01, 0x83, 0x02, 0xC0, 0xF1 },      5, -258 },
        { "exception 2, CRC wrong",       { 0x01, 0x83, 0x02, 0xC0, 0xF0 },      5, -21 },
        { "exception 7",                  exceptionReply(3, 7),                  5, -52 },
        { "exception 0",                  exceptionReply(3, 0),                  5, -52 },
        { "exception 11",                 exceptionReply(3, 11),                 5, -267 },
        { "exception with other fc",      exceptionReply(0x7F, 2),               5, -258 },
        { "five bytes, no exception bit", withCrc({ 0x01, 0x03, 0x04 }),         5, -20 },
        { "exception plus a byte",        { 0x01, 0x83, 0x02, 0xC0, 0xF1, 0 },   6, -20 },
        { "one byte too many",            goodPlusOne,                          10, -20 },
        { "one byte short",               Bytes(good.begin(), good.end() - 1),   8, -20 },
        { "CRC wrong",                    corruptLast(good),                     9, -21 },
        { "CRC and byte count wrong",     { 0x01, 0x03, 0x05, 0, 0x0A, 0, 0x14, 0xDA, 0x3E }, 9, -21 },
        { "byte count wrong",             withCrc({ 0x01, 0x03, 0x05, 0, 0x0A, 0, 0x14 }), 9, -23 },
    };
    // clang-format on
    for (const auto& c : cases) {
        std::vector<std::uint16_t> values {99};
        EXPECT_EQ(rtuCheckReadReply(c.reply.data(), c.collected, 2, values), c.expected) << c.name;
        EXPECT_EQ(values, std::vector<std::uint16_t> {99}) << c.name << ": values touched";
    }
}

TEST(RtuReadReply, AddressAndFunctionOfANormalReplyAreNotCompared)
{
    for (const Bytes& reply : {Bytes {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E},
             withCrc({0x11, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14}),
             withCrc({0x01, 0x04, 0x04, 0x00, 0x0A, 0x00, 0x14})}) {
        std::vector<std::uint16_t> values;
        EXPECT_EQ(rtuCheckReadReply(reply.data(), 9, 2, values), 2);
        EXPECT_EQ(values, (std::vector<std::uint16_t> {10, 20}));
    }
}

TEST(RtuReadReply, ValuesAreBigEndianOverTheWholeRange)
{
    Bytes reply {0x01, 0x04, 250};
    std::vector<std::uint16_t> expected;
    for (int i = 0; i < 125; ++i) {
        const auto value = static_cast<std::uint16_t>(0xFF00 - i * 0x0101);
        reply.push_back(static_cast<std::uint8_t>(value >> 8));
        reply.push_back(static_cast<std::uint8_t>(value & 0xFF));
        expected.push_back(value);
    }
    reply = withCrc(reply);
    ASSERT_EQ(reply.size(), 255u);
    std::vector<std::uint16_t> values;
    EXPECT_EQ(rtuCheckReadReply(reply.data(), 255, 125, values), 125);
    EXPECT_EQ(values, expected);
}

TEST(RtuWriteSingleReply, MalformedRepliesYieldTheirCodes)
{
    const Bytes echo {0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B};
    // clang-format off
    const std::vector<ReplyCase> cases = {
        { "echo",                           echo,                                  8, 1 },
        { "other address and value",        withCrc({ 0x01, 0x06, 0x12, 0x34, 0x56, 0x78 }), 8, 1 },
        { "no port",                        {},                                   -1, -30 },
        { "send failed",                    {},                                   -2, -30 },
        { "four bytes",                     { 0x01, 0x86, 0x02, 0xC3 },            4, -30 },
        { "exception 2",                    exceptionReply(6, 2),                  5, -514 },
        { "exception 7 is not judged",      exceptionReply(6, 7),                  5, -519 },
        { "exception 0",                    exceptionReply(6, 0),                  5, -512 },
        { "exception 255",                  exceptionReply(6, 255),                5, -767 },
        { "exception, CRC wrong",           corruptLast(exceptionReply(6, 2)),     5, -31 },
        { "seven bytes, CRC over five bad", { 0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98 }, 7, -31 },
        { "seven bytes, CRC right",         withCrc({ 0x01, 0x06, 0x00, 0x01, 0x00 }), 7, -32 },
        { "nine bytes, CRC right",          withCrc({ 0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x00 }), 9, -32 },
        { "echo, CRC wrong",                corruptLast(echo),                     8, -31 },
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(rtuCheckWriteSingleReply(c.reply.data(), c.collected), c.expected) << c.name;
}

TEST(RtuWriteMultipleReply, MalformedRepliesYieldTheirCodes)
{
    const Bytes echo {0x01, 0x10, 0x00, 0x00, 0x00, 0x03, 0x80, 0x08};
    // clang-format off
    const std::vector<ReplyCase> cases = {
        { "echo",                    echo,                                     8, 3 },
        { "other start and quantity", withCrc({ 0x01, 0x10, 0x00, 0x09, 0x00, 0x01 }), 8, 3 },
        { "no port",                 {},                                      -1, -41 },
        { "send failed",             {},                                      -2, -41 },
        { "four bytes",              { 0x01, 0x90, 0x02, 0xCD },               4, -41 },
        { "exception 2",             exceptionReply(16, 2),                    5, -770 },
        { "exception 7",             exceptionReply(16, 7),                    5, -52 },
        { "exception, CRC wrong",    corruptLast(exceptionReply(16, 2)),       5, -42 },
        { "CRC wrong",               corruptLast(echo),                        8, -42 },
        { "six bytes, CRC right",    withCrc({ 0x01, 0x10, 0x00, 0x00 }),      6, -43 },
        { "ten bytes, CRC right",    withCrc({ 0x01, 0x10, 0, 0, 0, 3, 0, 0 }), 10, -43 },
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(rtuCheckWriteMultipleReply(c.reply.data(), c.collected, 3), c.expected) << c.name;
}

// Through the exchange, with a scripted device on the port.
class RtuTransaction : public ::testing::Test
{
protected:
    RtuTransaction()
    {
        auto owned = std::make_unique<ScriptedSerialPort>();
        port = owned.get();
        state.serial.handle = std::move(owned);
    }
    ModbusState state;
    ScriptedSerialPort* port;
};

TEST_F(RtuTransaction, ReadSendsTheRequestAndDeliversTheValues)
{
    port->stale = {0xAA, 0xBB, 0xCC}; // left over from before: must not be taken as reply
    port->replyChunks = {{0x01, 0x03, 0x04, 0x00}, {0x0A, 0x00, 0x14, 0xDA, 0x3E}};
    state.serial.rxTimeoutMs = 321;
    std::vector<std::uint16_t> values;
    EXPECT_EQ(rtuReadRegisters(state, 3, 0, 2, values), 2);
    EXPECT_EQ(values, (std::vector<std::uint16_t> {10, 20}));
    ASSERT_EQ(port->writes.size(), 1u);
    EXPECT_EQ(port->writes[0], (Bytes {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}));
    EXPECT_EQ(Bytes(state.responseBuffer.begin(), state.responseBuffer.begin() + 9),
        (Bytes {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E}));
    ASSERT_FALSE(port->waitTimeouts.empty());
    for (const std::int64_t t : port->waitTimeouts)
        EXPECT_LE(t, 321);
}

TEST_F(RtuTransaction, AReplyLongerThanExpectedInOneReadIsTooLong)
{
    port->replyChunks = {{0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E, 0x01}};
    std::vector<std::uint16_t> values;
    EXPECT_EQ(rtuReadRegisters(state, 3, 0, 2, values), RC_FC0304_SHORT);
}

TEST_F(RtuTransaction, ARejectedCountSendsNothing)
{
    std::vector<std::uint16_t> values;
    EXPECT_EQ(rtuReadRegisters(state, 3, 0, 0, values), RC_BAD_READ_COUNT);
    EXPECT_EQ(rtuReadRegisters(state, 3, 0, 126, values), RC_BAD_READ_COUNT);
    const std::vector<std::uint16_t> many(124, 1);
    EXPECT_EQ(rtuWriteMultipleRegisters(state, 0, many, 0), RC_BAD_WRITE_COUNT);
    EXPECT_EQ(rtuWriteMultipleRegisters(state, 0, many, 124), RC_BAD_WRITE_COUNT);
    // More than the list holds would put bytes from past its end on the line.
    EXPECT_EQ(rtuWriteMultipleRegisters(state, 0, {1, 2}, 3), RC_BAD_WRITE_COUNT);
    EXPECT_TRUE(port->writes.empty());
}

TEST_F(RtuTransaction, LargestReadAndWriteGoOut)
{
    Bytes reply {0x01, 0x03, 250};
    reply.resize(253, 0x5A);
    port->replyChunks = {withCrc(reply)};
    std::vector<std::uint16_t> values;
    EXPECT_EQ(rtuReadRegisters(state, 3, 0, 125, values), 125);
    EXPECT_EQ(values, std::vector<std::uint16_t>(125, 0x5A5A));

    port->replyChunks = {withCrc({0x01, 0x10, 0x00, 0x00, 0x00, 123})};
    EXPECT_EQ(rtuWriteMultipleRegisters(state, 0, std::vector<std::uint16_t>(123, 1), 123), 123);
    ASSERT_EQ(port->writes.size(), 2u);
    EXPECT_EQ(port->writes[1].size(), 255u);
}

TEST_F(RtuTransaction, WritesSendTheirFramesAndAcceptTheEcho)
{
    port->replyChunks = {{0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B}};
    EXPECT_EQ(rtuWriteSingleRegister(state, 1, 3), 1);
    port->replyChunks = {{0x01, 0x10, 0x00, 0x00, 0x00, 0x03, 0x80, 0x08}};
    EXPECT_EQ(rtuWriteMultipleRegisters(state, 0, {10, 20, 30}, 3), 3);
    ASSERT_EQ(port->writes.size(), 2u);
    EXPECT_EQ(port->writes[0], (Bytes {0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B}));
    EXPECT_EQ(port->writes[1],
        (Bytes {0x01, 0x10, 0x00, 0x00, 0x00, 0x03, 0x06, 0x00, 0x0A, 0x00, 0x14, 0x00, 0x1E, 0xBE,
            0x8D}));
}

TEST_F(RtuTransaction, ExceptionRepliesComeThroughTheExchange)
{
    std::vector<std::uint16_t> values;
    port->replyChunks = {{0x01, 0x83, 0x02, 0xC0, 0xF1}};
    EXPECT_EQ(rtuReadRegisters(state, 3, 0, 2, values), -258);
    port->replyChunks = {exceptionReply(6, 7)};
    EXPECT_EQ(rtuWriteSingleRegister(state, 1, 3), -519);
    port->replyChunks = {exceptionReply(16, 7)};
    EXPECT_EQ(rtuWriteMultipleRegisters(state, 0, {1}, 1), RC_RTU_BAD_EXCEPTION);
}

TEST_F(RtuTransaction, AShortSendIsAShortReply)
{
    port->writeLimit = 3;
    port->replyChunks = {{0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E}};
    std::vector<std::uint16_t> values;
    EXPECT_EQ(rtuReadRegisters(state, 3, 0, 2, values), RC_FC0304_SHORT);
    EXPECT_EQ(rtuWriteSingleRegister(state, 1, 3), RC_FC06_SHORT);
    EXPECT_EQ(rtuWriteMultipleRegisters(state, 0, {1}, 1), RC_FC16_SHORT);
}

TEST(RtuTransactionWithoutPort, EachReportsItsShortReply)
{
    ModbusState state;
    std::vector<std::uint16_t> values;
    EXPECT_EQ(rtuReadRegisters(state, 3, 0, 2, values), RC_FC0304_SHORT);
    EXPECT_EQ(rtuWriteSingleRegister(state, 1, 3), RC_FC06_SHORT);
    EXPECT_EQ(rtuWriteMultipleRegisters(state, 0, {1}, 1), RC_FC16_SHORT);
    // The request was still built, so the command can dump it.
    EXPECT_EQ(state.rtuTxFrame[1], 0x10);
}

} // namespace
} // namespace kalvenor
