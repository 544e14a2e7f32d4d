#include "protocol/tcp_response.h"
#include "protocol/tcp_transaction.h"
#include "scripted_links.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kalvenor {
namespace {

using test::Bytes;
using test::ScriptedTcpConnection;

// One response frame: MBAP header with the given fields, then the PDU.
Bytes response(
    std::uint16_t id, const Bytes& pdu, std::uint8_t unit = 1, std::uint16_t protocol = 0)
{
    const auto length = static_cast<std::uint16_t>(pdu.size() + 1);
    Bytes frame {static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id),
        static_cast<std::uint8_t>(protocol >> 8), static_cast<std::uint8_t>(protocol),
        static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), unit};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    return frame;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes readTwoPdu {0x03, 0x04, 0x00, 0x0A, 0x00, 0x14};

TEST(MbapHeader, ChecksRunInTheirOrder)
{
    struct Case
    {
        std::string name;
        MbapHeader header;
        ResultCode expected;
    };
    // clang-format off
    const std::vector<Case> cases = {
        { "accepted",                    { 7, 0, 6, 1 },   0 },
        { "protocol id before all else", { 8, 1, 0, 2 },   RC_TCP_PROTOCOL_ID },
        { "length 0",                    { 7, 0, 0, 1 },   RC_TCP_MBAP_LENGTH },
        { "length 1 (no PDU)",           { 7, 0, 1, 1 },   0 },
        { "length 514 fits 513",         { 7, 0, 514, 1 }, 0 },
        { "length 515",                  { 7, 0, 515, 1 }, RC_TCP_MBAP_LENGTH },
        { "length before id",            { 8, 0, 0, 2 },   RC_TCP_MBAP_LENGTH },
        { "wrong id before unit",        { 8, 0, 6, 2 },   RC_TCP_TRANSACTION_ID },
        { "wrong unit",                  { 7, 0, 6, 2 },   RC_TCP_UNIT_ID },
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(tcpCheckHeader(c.header, 7, 1, 513), c.expected) << c.name;
}

TEST(MbapHeader, ParsesBigEndianFields)
{
    const Bytes bytes {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE};
    const MbapHeader h = parseMbapHeader(bytes.data());
    EXPECT_EQ(h.transactionId, 0x1234);
    EXPECT_EQ(h.protocolId, 0x5678);
    EXPECT_EQ(h.length, 0x9ABC);
    EXPECT_EQ(h.unitId, 0xDE);
}

struct PduCase
{
    std::string name;
    Bytes pdu;
    ResultCode expected;
};

TEST(TcpReadResponse, MalformedPdusYieldTheirCodes)
{
    // clang-format off
    const std::vector<PduCase> cases = {
        { "good",                        readTwoPdu,                          2 },
        { "empty PDU",                   {},                                  RC_FC0304_SHORT },
        { "exception without its code",  { 0x83 },                            RC_TCP_BAD_EXCEPTION },
        { "exception 2",                 { 0x83, 0x02 },                      -258 },
        { "exception 11",                { 0x83, 0x0B },                      -267 },
        { "exception 7",                 { 0x83, 0x07 },                      RC_TCP_BAD_EXCEPTION },
        { "exception 9",                 { 0x83, 0x09 },                      RC_TCP_BAD_EXCEPTION },
        { "exception 12",                { 0x83, 0x0C },                      RC_TCP_BAD_EXCEPTION },
        { "any fc with bit 7",           { 0xFF, 0x02 },                      -258 },
        { "fc 4 to a read of 3",         { 0x04, 0x04, 0, 0x0A, 0, 0x14 },    RC_FC0304_LENGTH },
        { "only the function code",      { 0x03 },                            RC_FC0304_SHORT },
        { "byte count wrong",            { 0x03, 0x02, 0, 0x0A },             RC_TCP_FC0304_BYTE_COUNT },
        { "byte count before length",    { 0x03, 0x06, 0, 0x0A },             RC_TCP_FC0304_BYTE_COUNT },
        { "one value short",             { 0x03, 0x04, 0, 0x0A },             RC_FC0304_SHORT },
        { "one byte too many",           readTwoPdu + Bytes { 0 },            RC_FC0304_SHORT },
    };
    // clang-format on
    for (const auto& c : cases) {
        std::vector<std::uint16_t> values;
        EXPECT_EQ(tcpCheckReadResponse(c.pdu.data(), c.pdu.size(), 3, 2, values), c.expected)
            << c.name;
        if (c.expected == 2)
            EXPECT_EQ(values, (std::vector<std::uint16_t> {10, 20})) << c.name;
        else
            EXPECT_TRUE(values.empty()) << c.name;
    }
}

TEST(TcpWriteResponses, MalformedPdusYieldTheirCodes)
{
    // clang-format off
    const std::vector<PduCase> single = {
        { "echo",                       { 0x06, 0x00, 0x01, 0x00, 0x03 },       1 },
        { "other address and value",    { 0x06, 0x12, 0x34, 0x56, 0x78 },       1 },
        { "empty PDU",                  {},                                     RC_TCP_FC06_LENGTH },
        { "exception without its code", { 0x86 },                               RC_TCP_BAD_EXCEPTION },
        { "exception 2",                { 0x86, 0x02 },                         -514 },
        { "exception 7",                { 0x86, 0x07 },                         RC_TCP_BAD_EXCEPTION },
        { "wrong function code",        { 0x10, 0x00, 0x01, 0x00, 0x03 },       RC_TCP_FC06_LENGTH },
        { "four bytes",                 { 0x06, 0x00, 0x01, 0x00 },             RC_TCP_FC06_LENGTH },
        { "six bytes",                  { 0x06, 0x00, 0x01, 0x00, 0x03, 0x00 }, RC_TCP_FC06_LENGTH },
    };
    const std::vector<PduCase> multiple = {
        { "echo",                       { 0x10, 0x00, 0x00, 0x00, 0x03 },       3 },
        { "other start and quantity",   { 0x10, 0x00, 0x09, 0x00, 0x01 },       3 },
        { "empty PDU",                  {},                                     RC_TCP_FC16_LENGTH },
        { "exception without its code", { 0x90 },                               RC_TCP_BAD_EXCEPTION },
        { "exception 2",                { 0x90, 0x02 },                         -770 },
        { "exception 7",                { 0x90, 0x07 },                         RC_TCP_BAD_EXCEPTION },
        { "wrong function code",        { 0x06, 0x00, 0x00, 0x00, 0x03 },       RC_TCP_FC16_LENGTH },
        { "four bytes",                 { 0x10, 0x00, 0x00, 0x00 },             RC_TCP_FC16_LENGTH },
    };
    // clang-format on
    for (const auto& c : single)
        EXPECT_EQ(tcpCheckWriteSingleResponse(c.pdu.data(), c.pdu.size()), c.expected)
            << "FC06 " << c.name;
    for (const auto& c : multiple)
        EXPECT_EQ(tcpCheckWriteMultipleResponse(c.pdu.data(), c.pdu.size(), 3), c.expected)
            << "FC16 " << c.name;
}

// Through tcpTransact, with a scripted server behind the connection.
class TcpTransaction : public ::testing::Test
{
protected:
    TcpTransaction()
    {
        auto owned = std::make_unique<ScriptedTcpConnection>();
        connection = owned.get();
        state.tcp.connection = std::move(owned);
        state.tcp.timeoutMs = 40;
    }
    ResultCode read2(std::vector<std::uint16_t>& values)
    {
        return tcpReadRegisters(state, 3, 0, 2, values);
    }
    Bytes txFrame() const
    {
        return Bytes(state.tcpTxFrame.begin(),
            state.tcpTxFrame.begin() + static_cast<std::ptrdiff_t>(state.tcpTxLength));
    }
    ModbusState state;
    ScriptedTcpConnection* connection;
};

TEST_F(TcpTransaction, FirstRequestCarriesIdOneAndTheExampleBytes)
{
    connection->stream = response(1, readTwoPdu);
    std::vector<std::uint16_t> values;
    EXPECT_EQ(read2(values), 2);
    EXPECT_EQ(values, (std::vector<std::uint16_t> {10, 20}));
    const Bytes request {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x02};
    ASSERT_EQ(connection->sent.size(), 1u);
    EXPECT_EQ(connection->sent[0], request);
    EXPECT_EQ(txFrame(), request);
    EXPECT_EQ(state.tcpRxLength, 13u);
    EXPECT_EQ(
        Bytes(state.tcpRxFrame.begin(), state.tcpRxFrame.begin() + 13), response(1, readTwoPdu));
    EXPECT_EQ(Bytes(state.responseBuffer.begin(), state.responseBuffer.begin() + 6), readTwoPdu);
}

TEST_F(TcpTransaction, WriteFramesCarryTheirPdus)
{
    state.slaveId = 0x11;
    connection->stream = response(1, {0x06, 0x00, 0x01, 0x00, 0x03}, 0x11)
        + response(2, {0x10, 0x00, 0x00, 0x00, 0x03}, 0x11);
    EXPECT_EQ(tcpWriteSingleRegister(state, 1, 3), 1);
    EXPECT_EQ(tcpWriteMultipleRegisters(state, 0, {10, 20, 30}, 3), 3);
    ASSERT_EQ(connection->sent.size(), 2u);
    EXPECT_EQ(connection->sent[0],
        (Bytes {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x11, 0x06, 0x00, 0x01, 0x00, 0x03}));
    EXPECT_EQ(connection->sent[1],
        (Bytes {0x00, 0x02, 0x00, 0x00, 0x00, 0x0D, 0x11, 0x10, 0x00, 0x00, 0x00, 0x03, 0x06, 0x00,
            0x0A, 0x00, 0x14, 0x00, 0x1E}));
}

TEST_F(TcpTransaction, LargestWriteIs259Bytes)
{
    connection->stream = response(1, {0x10, 0x00, 0x00, 0x00, 123});
    EXPECT_EQ(
        tcpWriteMultipleRegisters(state, 0, std::vector<std::uint16_t>(123, 0xBEEF), 123), 123);
    ASSERT_EQ(connection->sent.size(), 1u);
    EXPECT_EQ(connection->sent[0].size(), 259u);
    EXPECT_EQ(connection->sent[0][5], 253); // MBAP length: unit + 252 PDU bytes
    EXPECT_EQ(connection->sent[0].back(), 0xEF);
}

TEST_F(TcpTransaction, AStaleResponseIsReadToItsEndAndSkippedOnce)
{
    // A late answer with a longer PDU than ours: if its body were not discarded, the next
    // header would be read from the middle of it.
    const Bytes stale = response(0, {0x03, 0x06, 1, 2, 3, 4, 5, 6});
    connection->stream = stale + response(1, readTwoPdu);
    state.tcp.timeoutMs = 3000;
    std::vector<std::uint16_t> values;
    EXPECT_EQ(read2(values), 2);
    EXPECT_EQ(values, (std::vector<std::uint16_t> {10, 20}));
    EXPECT_EQ(connection->unread(), 0u);
    // The discard waits its own 50 ms, not the full receive time-out.
    ASSERT_GE(connection->receives.size(), 3u);
    EXPECT_EQ(connection->receives[1].asked, 8u);
    EXPECT_LE(connection->receives[1].timeoutMs, 50);
    EXPECT_GT(connection->receives[2].timeoutMs, 50);
}

TEST_F(TcpTransaction, SkipsAtMostOneForeignResponse)
{
    struct Case
    {
        std::string name;
        Bytes stream;
        ResultCode expected;
    };
    // clang-format off
    const std::vector<Case> cases = {
        { "two wrong ids",            response(9, readTwoPdu) + response(8, readTwoPdu),       RC_TCP_TRANSACTION_ID },
        { "wrong unit, then right",   response(1, readTwoPdu, 2) + response(1, readTwoPdu),    2 },
        { "two wrong units",          response(1, readTwoPdu, 2) + response(1, readTwoPdu, 3), RC_TCP_UNIT_ID },
        { "wrong id, then wrong unit", response(9, readTwoPdu) + response(1, readTwoPdu, 2),   RC_TCP_UNIT_ID },
        { "wrong unit, then wrong id", response(1, readTwoPdu, 2) + response(9, readTwoPdu),   RC_TCP_TRANSACTION_ID },
        { "wrong id, then bad protocol", response(9, readTwoPdu) + response(1, readTwoPdu, 1, 1), RC_TCP_PROTOCOL_ID },
        { "third would be right",     response(9, readTwoPdu) + response(8, readTwoPdu) + response(1, readTwoPdu), RC_TCP_TRANSACTION_ID },
    };
    // clang-format on
    for (const auto& c : cases) {
        ModbusState fresh;
        auto owned = std::make_unique<ScriptedTcpConnection>();
        owned->stream = c.stream;
        fresh.tcp.connection = std::move(owned);
        fresh.tcp.timeoutMs = 40;
        std::vector<std::uint16_t> values;
        EXPECT_EQ(tcpReadRegisters(fresh, 3, 0, 2, values), c.expected) << c.name;
    }
}

TEST_F(TcpTransaction, HeaderFailuresEndAtOnceAndLeaveTheRestUnread)
{
    struct Case
    {
        std::string name;
        Bytes stream;
        ResultCode expected;
        std::size_t unread;
    };
    Bytes lengthZero = response(1, readTwoPdu);
    lengthZero[4] = 0;
    lengthZero[5] = 0;
    Bytes length515 = response(1, Bytes(514, 0));
    // clang-format off
    const std::vector<Case> cases = {
        // Protocol id 1 with a wrong transaction id: the protocol id decides.
        { "protocol id 1",  response(5, readTwoPdu, 1, 1), RC_TCP_PROTOCOL_ID, 6 },
        { "MBAP length 0",  lengthZero,                    RC_TCP_MBAP_LENGTH, 6 },
        { "MBAP length 515", length515,                    RC_TCP_MBAP_LENGTH, 514 },
    };
    // clang-format on
    for (const auto& c : cases) {
        ModbusState fresh;
        auto owned = std::make_unique<ScriptedTcpConnection>();
        owned->stream = c.stream;
        ScriptedTcpConnection* peer = owned.get();
        fresh.tcp.connection = std::move(owned);
        fresh.tcp.timeoutMs = 40;
        std::vector<std::uint16_t> values;
        EXPECT_EQ(tcpReadRegisters(fresh, 3, 0, 2, values), c.expected) << c.name;
        EXPECT_EQ(peer->unread(), c.unread) << c.name;
    }
}

TEST_F(TcpTransaction, TheLargestAcceptedResponseFillsTheBuffer)
{
    Bytes pdu(513);
    for (std::size_t i = 0; i < pdu.size(); ++i)
        pdu[i] = static_cast<std::uint8_t>(i * 7);
    connection->stream = response(1, pdu);
    const std::uint8_t request[] = {0x03, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(tcpTransact(state, request, sizeof request, state.responseBuffer.data(),
                  state.responseBuffer.size()),
        513);
    EXPECT_EQ(Bytes(state.responseBuffer.begin(), state.responseBuffer.end()), pdu);
    EXPECT_EQ(state.tcpRxLength, 520u);
}

TEST_F(TcpTransaction, AnEmptyOrCodelessPduEndsInAFailure)
{
    struct Case
    {
        std::string name;
        int function; // 3, 6 or 16
        Bytes pdu;
        ResultCode expected;
    };
    // clang-format off
    const std::vector<Case> cases = {
        { "read, no PDU",              3,  {},       RC_FC0304_SHORT },
        { "FC06, no PDU",              6,  {},       RC_TCP_FC06_LENGTH },
        { "FC16, no PDU",              16, {},       RC_TCP_FC16_LENGTH },
        { "read, bare exception",      3,  { 0x83 }, RC_TCP_BAD_EXCEPTION },
        { "FC06, bare exception",      6,  { 0x86 }, RC_TCP_BAD_EXCEPTION },
        { "FC16, bare exception",      16, { 0x90 }, RC_TCP_BAD_EXCEPTION },
    };
    // clang-format on
    for (const auto& c : cases) {
        ModbusState fresh;
        auto owned = std::make_unique<ScriptedTcpConnection>();
        owned->stream = response(1, c.pdu);
        fresh.tcp.connection = std::move(owned);
        fresh.tcp.timeoutMs = 40;
        // Leave an exception with a valid code in the buffer, as an earlier exchange could,
        // so that reading a byte this response did not carry would show.
        fresh.responseBuffer.fill(0x02);
        fresh.responseBuffer[0] = 0x83;
        std::vector<std::uint16_t> values;
        ResultCode result = 0;
        if (c.function == 3)
            result = tcpReadRegisters(fresh, 3, 0, 1, values);
        else if (c.function == 6)
            result = tcpWriteSingleRegister(fresh, 0, 0);
        else
            result = tcpWriteMultipleRegisters(fresh, 0, {0}, 1);
        EXPECT_EQ(result, c.expected) << c.name;
    }
}

TEST_F(TcpTransaction, ReceiveFailuresPassThrough)
{
    struct Case
    {
        std::string name;
        Bytes stream;
        bool errorAtEnd;
        ResultCode expected;
    };
    const Bytes good = response(1, readTwoPdu);
    // clang-format off
    const std::vector<Case> cases = {
        { "silence",                {},                           false, RC_TCP_TIMEOUT },
        { "half a header",          Bytes(good.begin(), good.begin() + 3), false, RC_TCP_TIMEOUT },
        { "body short",             Bytes(good.begin(), good.end() - 1),   false, RC_TCP_TIMEOUT },
        { "error in the header",    Bytes(good.begin(), good.begin() + 3), true,  RC_TCP_CONNECTION_LOST },
        { "error in the body",      Bytes(good.begin(), good.end() - 1),   true,  RC_TCP_CONNECTION_LOST },
        { "stale, then silence",    response(0, readTwoPdu),      false, RC_TCP_TIMEOUT },
    };
    // clang-format on
    for (const auto& c : cases) {
        ModbusState fresh;
        auto owned = std::make_unique<ScriptedTcpConnection>();
        owned->stream = c.stream;
        owned->errorAtEnd = c.errorAtEnd;
        fresh.tcp.connection = std::move(owned);
        fresh.tcp.timeoutMs = 30;
        std::vector<std::uint16_t> values;
        EXPECT_EQ(tcpReadRegisters(fresh, 3, 0, 2, values), c.expected) << c.name;
    }
}

TEST_F(TcpTransaction, CounterAdvancesBeforeEveryFrameAndWraps)
{
    std::vector<std::uint16_t> values;
    state.tcp.transactionId = 65534;
    connection->stream
        = response(65535, readTwoPdu) + response(0, readTwoPdu) + response(1, readTwoPdu);
    EXPECT_EQ(read2(values), 2);
    EXPECT_EQ(read2(values), 2); // carries 0 after 65535
    EXPECT_EQ(read2(values), 2);
    ASSERT_EQ(connection->sent.size(), 3u);
    EXPECT_EQ(connection->sent[0][0], 0xFF);
    EXPECT_EQ(connection->sent[0][1], 0xFF);
    EXPECT_EQ(connection->sent[1][0], 0x00);
    EXPECT_EQ(connection->sent[1][1], 0x00);
    EXPECT_EQ(connection->sent[2][1], 0x01);
    EXPECT_EQ(state.tcp.transactionId, 1);
}

TEST_F(TcpTransaction, ARejectedQuantityLeavesTheCounterAndSendsNothing)
{
    state.tcp.transactionId = 41;
    const std::vector<std::uint16_t> many(124, 1);
    std::vector<std::uint16_t> values;
    EXPECT_EQ(tcpReadRegisters(state, 3, 0, 0, values), RC_BAD_READ_COUNT);
    EXPECT_EQ(tcpReadRegisters(state, 4, 0, 126, values), RC_BAD_READ_COUNT);
    EXPECT_EQ(tcpWriteMultipleRegisters(state, 0, many, 0), RC_BAD_WRITE_COUNT);
    EXPECT_EQ(tcpWriteMultipleRegisters(state, 0, many, 124), RC_BAD_WRITE_COUNT);
    EXPECT_EQ(tcpWriteMultipleRegisters(state, 0, {1, 2}, 3), RC_BAD_WRITE_COUNT);
    EXPECT_EQ(state.tcp.transactionId, 41);
    EXPECT_TRUE(connection->sent.empty());
    EXPECT_EQ(state.tcpTxLength, 0u);
}

TEST_F(TcpTransaction, AFailedSendStillAdvancesTheCounterAndKeepsTheFrame)
{
    connection->sendLimit = 5;
    std::vector<std::uint16_t> values;
    EXPECT_EQ(read2(values), RC_TCP_SEND_FAILED);
    EXPECT_EQ(state.tcp.transactionId, 1);
    EXPECT_EQ(txFrame(),
        (Bytes {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x02}));

    connection->sendLimit = -1;
    EXPECT_EQ(tcpWriteSingleRegister(state, 1, 3), RC_TCP_SEND_FAILED);
    EXPECT_EQ(state.tcp.transactionId, 2);
    EXPECT_EQ(txFrame(),
        (Bytes {0x00, 0x02, 0x00, 0x00, 0x00, 0x06, 0x01, 0x06, 0x00, 0x01, 0x00, 0x03}));
    EXPECT_TRUE(connection->receives.empty());
}

TEST(TcpTransactionWithoutConnection, NothingIsBuiltOrCounted)
{
    ModbusState state;
    state.tcp.transactionId = 7;
    std::vector<std::uint16_t> values;
    EXPECT_EQ(tcpReadRegisters(state, 3, 0, 2, values), RC_TCP_NOT_CONNECTED);
    EXPECT_EQ(tcpWriteSingleRegister(state, 0, 0), RC_TCP_NOT_CONNECTED);
    EXPECT_EQ(tcpWriteMultipleRegisters(state, 0, {1}, 1), RC_TCP_NOT_CONNECTED);
    EXPECT_EQ(state.tcp.transactionId, 7);
}

} // namespace
} // namespace kalvenor
