// Kalvenor's RTU and TCP transactions against the demo device, a libmodbus slave, over a real
// pseudo-terminal and a real loopback connection.
#include "demo/demo_device.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "protocol/modbus_state.h"
#include "protocol/result_code.h"
#include "protocol/rtu_transaction.h"
#include "protocol/tcp_transaction.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

namespace {

using namespace kalvenor;
using kalvenor::demo::DemoDevice;

enum class Link
{
    Rtu,
    Tcp
};

// One face for both transaction families, so every case below runs over both links.
struct Transactions
{
    ResultCode (*read)(
        ModbusState&, std::uint8_t, std::uint16_t, std::uint16_t, std::vector<std::uint16_t>&);
    ResultCode (*writeSingle)(ModbusState&, std::uint16_t, std::uint16_t);
    ResultCode (*writeMultiple)(
        ModbusState&, std::uint16_t, const std::vector<std::uint16_t>&, std::size_t);
};

const Transactions rtu {rtuReadRegisters, rtuWriteSingleRegister, rtuWriteMultipleRegisters};
const Transactions tcp {tcpReadRegisters, tcpWriteSingleRegister, tcpWriteMultipleRegisters};

class TransactionsAgainstDevice : public ::testing::TestWithParam<Link>
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(device.startTcp("127.0.0.1", 0, error)) << error;
        ASSERT_TRUE(device.startRtu(error)) << error;
        if (GetParam() == Link::Rtu) {
            state.serial.portName = device.rtuPath();
            state.serial.baudRate = 115200;
            // An exception reply is shorter than expected and is judged only when the whole
            // receive time-out has passed; keep that wait short.
            state.serial.rxTimeoutMs = 150;
            ASSERT_TRUE(serialOpen(state.serial)) << state.serial.portName;
        } else {
            state.tcp.host = "127.0.0.1";
            state.tcp.port = device.tcpPort();
            ASSERT_TRUE(tcpOpen(state.tcp));
        }
    }

    const Transactions& t() const { return GetParam() == Link::Rtu ? rtu : tcp; }

    DemoDevice device;
    ModbusState state;
};

TEST_P(TransactionsAgainstDevice, ReadsHoldingRegistersAtBothEndsOfTheMap)
{
    struct Case
    {
        std::uint16_t start;
        std::uint16_t quantity;
    };
    for (Case c : {Case {0, 1}, Case {100, 125}, Case {9875, 125}, Case {9999, 1}}) {
        SCOPED_TRACE(c.start);
        std::vector<std::uint16_t> values;
        ASSERT_EQ(t().read(state, 3, c.start, c.quantity, values), c.quantity);
        std::vector<std::uint16_t> expected(c.quantity);
        std::iota(expected.begin(), expected.end(), c.start);
        EXPECT_EQ(values, expected);
    }
}

TEST_P(TransactionsAgainstDevice, ReadsInputRegistersThatMove)
{
    std::vector<std::uint16_t> first;
    std::vector<std::uint16_t> second;
    ASSERT_EQ(t().read(state, 4, 0, 3, first), 3);
    ASSERT_EQ(t().read(state, 4, 0, 3, second), 3);
    EXPECT_EQ(second[demo::InputRequestCounter],
        static_cast<std::uint16_t>(first[demo::InputRequestCounter] + 1));
    EXPECT_LE(second[demo::InputSine], 2000);
    // FC04 must not be answered from the holding registers.
    EXPECT_NE(first, (std::vector<std::uint16_t> {0, 1, 2}));
}

TEST_P(TransactionsAgainstDevice, WritesAreReadBack)
{
    // Values that a cooked line or a sign mix-up would change.
    ASSERT_EQ(t().writeSingle(state, 42, 0x8003), 1);
    std::vector<std::uint16_t> values;
    ASSERT_EQ(t().read(state, 3, 41, 3, values), 3);
    EXPECT_EQ(values, (std::vector<std::uint16_t> {41, 0x8003, 43}));

    std::vector<std::uint16_t> block(123);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint16_t>(0x0D0A + 0x0111 * i);
    // One entry more than the quantity: only the first quantity entries may go out.
    std::vector<std::uint16_t> longer = block;
    longer.push_back(0xDEAD);
    ASSERT_EQ(t().writeMultiple(state, 9877, longer, 123), 123);
    ASSERT_EQ(t().read(state, 3, 9877, 123, values), 123);
    EXPECT_EQ(values, block);
    EXPECT_EQ(device.holdingRegister(9999), block.back());
    EXPECT_EQ(device.holdingRegister(9876), 9876);
}

TEST_P(TransactionsAgainstDevice, AddressesOutsideTheMapYieldIllegalDataAddress)
{
    std::vector<std::uint16_t> values;
    EXPECT_EQ(t().read(state, 3, 9999, 2, values), -258);
    EXPECT_EQ(t().read(state, 4, 3, 1, values), -258);
    EXPECT_EQ(t().writeSingle(state, 10000, 1), -514);
    EXPECT_EQ(t().writeMultiple(state, 9999, {1, 2}, 2), -770);
    EXPECT_EQ(device.holdingRegister(9999), 9999) << "a refused write must change nothing";
    // The link stays in step after the exceptions.
    ASSERT_EQ(t().read(state, 3, 5, 2, values), 2);
    EXPECT_EQ(values, (std::vector<std::uint16_t> {5, 6}));
}

TEST_P(TransactionsAgainstDevice, AnotherSlaveAddressIsNotAnsweredAndCostsNothingAfterwards)
{
    state.serial.rxTimeoutMs = 100;
    state.tcp.timeoutMs = 100;
    state.slaveId = 9;
    std::vector<std::uint16_t> values;
    const ResultCode other = t().read(state, 3, 0, 2, values);
    state.slaveId = 1;
    if (GetParam() == Link::Rtu) {
        EXPECT_EQ(other, RC_FC0304_SHORT) << "slave 9 is not on this line";
    } else {
        // This TCP device answers for any unit identifier and echoes it back, so the reply
        // passes the unit check.
        EXPECT_EQ(other, 2);
    }
    ASSERT_EQ(t().read(state, 3, 20, 2, values), 2);
    EXPECT_EQ(values, (std::vector<std::uint16_t> {20, 21}));
}

INSTANTIATE_TEST_SUITE_P(Links, TransactionsAgainstDevice, ::testing::Values(Link::Rtu, Link::Tcp),
    [](const ::testing::TestParamInfo<Link>& info) {
        return info.param == Link::Rtu ? std::string("Rtu") : std::string("Tcp");
    });

} // namespace
