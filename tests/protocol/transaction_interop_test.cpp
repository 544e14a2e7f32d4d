// The transactions against an independent Modbus implementation: the demo device, which answers
// through libmodbus on a pseudo-terminal (RTU) and a loopback socket (TCP).

#include "demo/demo_device.h"
#include "link/clock.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "protocol/rtu_transaction.h"
#include "protocol/tcp_transaction.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>

namespace kalvenor {
namespace {

// The same operations over either link, so one set of checks covers both.
struct Link
{
    std::function<ResultCode(
        ModbusState&, std::uint8_t, std::uint16_t, std::uint16_t, std::vector<std::uint16_t>&)>
        read;
    std::function<ResultCode(ModbusState&, std::uint16_t, std::uint16_t)> writeSingle;
    std::function<ResultCode(
        ModbusState&, std::uint16_t, const std::vector<std::uint16_t>&, std::size_t)>
        writeMultiple;
};

const Link rtu {rtuReadRegisters, rtuWriteSingleRegister, rtuWriteMultipleRegisters};
const Link tcp {tcpReadRegisters, tcpWriteSingleRegister, tcpWriteMultipleRegisters};

class TransactionInterop : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        std::string error;
        if (useTcp()) {
            ASSERT_TRUE(device.startTcp("127.0.0.1", 0, error)) << error;
            state.tcp.port = device.tcpPort();
            state.tcp.timeoutMs = 1000;
            ASSERT_TRUE(tcpOpen(state.tcp));
        } else {
            ASSERT_TRUE(device.startRtu(error)) << error;
            state.serial.portName = device.rtuPath();
            state.serial.baudRate = 115200;
            state.serial.rxTimeoutMs = 1000;
            ASSERT_TRUE(serialOpen(state.serial));
        }
    }
    void TearDown() override
    {
        serialClose(state.serial);
        tcpClose(state.tcp);
        device.stop();
    }
    bool useTcp() const { return GetParam(); }
    const Link& link() const { return useTcp() ? tcp : rtu; }

    demo::DemoDevice device;
    ModbusState state;
};

TEST_P(TransactionInterop, ReadsAndWritesLandWhereTheyShould)
{
    std::vector<std::uint16_t> values;
    ASSERT_EQ(link().read(state, 3, 100, 5, values), 5);
    EXPECT_EQ(values, (std::vector<std::uint16_t> {100, 101, 102, 103, 104}));

    ASSERT_EQ(link().read(state, 4, 0, 3, values), 3);
    EXPECT_LE(values[2], 2000); // the slow wave of the demo device

    EXPECT_EQ(link().writeSingle(state, 7, 0xBEEF), 1);
    EXPECT_EQ(device.holdingRegister(7), 0xBEEF);

    std::vector<std::uint16_t> written(123);
    std::iota(written.begin(), written.end(), std::uint16_t {0xF000});
    EXPECT_EQ(link().writeMultiple(state, 200, written, 123), 123);
    EXPECT_EQ(device.holdingRegister(200), 0xF000);
    EXPECT_EQ(device.holdingRegister(322), 0xF000 + 122);

    ASSERT_EQ(link().read(state, 3, 200, 125, values), 125);
    EXPECT_EQ(std::vector<std::uint16_t>(values.begin(), values.begin() + 123), written);
    EXPECT_EQ(values[123], 323);
    EXPECT_EQ(values[124], 324);

    if (useTcp()) {
        EXPECT_EQ(state.tcp.transactionId, 5);
    }
}

TEST_P(TransactionInterop, ExceptionsComeBackInTheirBands)
{
    // Holding registers end at 9999: anything beyond is ILLEGAL DATA ADDRESS (2). Over RTU
    // each exception reply waits out the whole receive time-out, so keep it short.
    state.serial.rxTimeoutMs = 250;
    std::vector<std::uint16_t> values;
    EXPECT_EQ(link().read(state, 3, 9999, 2, values), RC_EXCEPTION_FC0304 - 2);
    EXPECT_EQ(link().writeSingle(state, 10000, 1), RC_EXCEPTION_FC06 - 2);
    EXPECT_EQ(link().writeMultiple(state, 9990, std::vector<std::uint16_t>(20, 1), 20),
        RC_EXCEPTION_FC16 - 2);
    // The stream is still in step afterwards.
    ASSERT_EQ(link().read(state, 3, 1, 1, values), 1);
    EXPECT_EQ(values[0], 1);
}

INSTANTIATE_TEST_SUITE_P(Links, TransactionInterop, ::testing::Values(false, true),
    [](const auto& info) { return info.param ? "Tcp" : "Rtu"; });

TEST(RtuInterop, AnExceptionReplyIsJudgedOnlyAfterTheWholeTimeout)
{
    // Five bytes arrive where more were expected, so the exchange waits for the rest.
    demo::DemoDevice device;
    std::string error;
    ASSERT_TRUE(device.startRtu(error)) << error;
    ModbusState state;
    state.serial.portName = device.rtuPath();
    state.serial.rxTimeoutMs = 150;
    ASSERT_TRUE(serialOpen(state.serial));
    std::vector<std::uint16_t> values;
    const std::int64_t start = monotonicMs();
    EXPECT_EQ(rtuReadRegisters(state, 3, 9999, 2, values), -258);
    const std::int64_t elapsed = monotonicMs() - start;
    EXPECT_GE(elapsed, 145);
    EXPECT_LT(elapsed, 1000);
    serialClose(state.serial);
}

} // namespace
} // namespace kalvenor
