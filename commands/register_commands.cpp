#include "commands/register_commands.h"

#include "commands/number_parsing.h"
#include "link/clock.h"
#include "link/serial_commands.h"
#include "link/serial_link.h"
#include "link/tcp_commands.h"
#include "protocol/result_code.h"
#include "protocol/rtu_transaction.h"
#include "protocol/tcp_transaction.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace kalvenor {

namespace {

constexpr int maxReadQuantity = 125;
constexpr std::size_t maxWriteQuantity = 123;
constexpr std::size_t listingItemsPerLine = 6;

// Four upper-case hex digits, zero-padded.
std::string hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

// "0x0010 (16)": an address as the log lines show it.
std::string addressText(std::uint16_t address)
{
    return "0x" + hex4(address) + " (" + std::to_string(address) + ")";
}

// "$00FF (255)": a register value as the log lines show it.
std::string valueText(std::uint16_t value)
{
    return "$" + hex4(value) + " (" + std::to_string(value) + ")";
}

std::string_view trimBlanks(std::string_view text)
{
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

void reportFailure(OperatorView& view, ResultCode r)
{
    const std::string message = resultMessage(r);
    view.appendLog("! " + message);
    view.messageBox("Fehler", message);
}

bool requireSerialPort(ModbusState& state, OperatorView& view)
{
    if (state.serial.handle)
        return true;
    view.messageBox("Hinweis", "Bitte zuerst den Port öffnen.");
    return false;
}

bool requireTcpConnection(ModbusState& state, OperatorView& view)
{
    if (state.tcp.connection)
        return true;
    view.messageBox("Hinweis", "Bitte zuerst TCP verbinden.");
    return false;
}

// Runs a TCP transaction; after a code that means the stream is lost or out of step it
// reconnects and runs it once more. The second result stands, whatever it is.
template <typename Transaction>
ResultCode runTcpWithResync(
    ModbusState& state, OperatorView& view, const std::string& retryLine, Transaction transaction)
{
    ResultCode r = transaction();
    if (isTcpResyncCode(r) && tcpResync(state, view)) {
        view.appendLog(retryLine);
        r = transaction();
    }
    return r;
}

void dumpTcpRequest(ModbusState& state, OperatorView& view)
{
    view.logDump("TX-TCP", state.tcpTxFrame.data(), state.tcpTxLength);
}

void dumpTcpResponse(ModbusState& state, OperatorView& view)
{
    view.logDump("RX-TCP", state.tcpRxFrame.data(), state.tcpRxLength);
}

std::uint8_t readFunctionCode(OperatorView& view, WidgetId typeCombo)
{
    return view.currentIndex(typeCombo) == 0 ? 3 : 4;
}

// Over RTU and TCP alike: "OK: FC03 – 2 Register ab 0x0010 (16)".
std::string readSuccessLine(std::uint8_t functionCode, std::uint16_t quantity, std::uint16_t start)
{
    return std::string(functionCode == 3 ? "OK: FC03" : "OK: FC04") + " – "
        + std::to_string(quantity) + " Register ab " + addressText(start);
}

std::string writeSingleSuccessLine(
    std::uint16_t address, std::uint16_t value, std::string_view transport)
{
    return "OK: FC06" + std::string(transport) + " – Reg " + addressText(address)
        + " := " + valueText(value);
}

std::string writeMultipleSuccessLine(
    std::size_t count, std::uint16_t start, std::string_view transport)
{
    return "OK: FC16" + std::string(transport) + " – " + std::to_string(count) + " Register ab "
        + addressText(start);
}

// Reads the start address and the value list of a multiple write; false (after the
// "Hinweis" box) when the list is empty or holds too many values.
bool readValueList(OperatorView& view, WidgetId startField, WidgetId valuesField,
    std::uint16_t& start, std::vector<std::uint16_t>& values, std::size_t& count)
{
    start = parseWord(view.text(startField));
    const std::string text = view.text(valuesField);
    if (trimBlanks(text).empty()) {
        view.messageBox("Hinweis", "Bitte Werte angeben (z. B. 10,20,30).");
        return false;
    }
    count = parseValueList(text, values);
    if (count < 1 || count > maxWriteQuantity) {
        view.messageBox("Hinweis", "Anzahl Werte muss 1..123 sein.");
        return false;
    }
    return true;
}

} // namespace

std::vector<RegisterRow> registerRows(std::uint16_t start, const std::vector<std::uint16_t>& values)
{
    std::vector<RegisterRow> rows;
    rows.reserve(values.size());
    for (std::size_t k = 0; k < values.size(); ++k) {
        const auto address = static_cast<std::uint16_t>(start + k); // wraps at 65536
        rows.push_back({"0x" + hex4(address), std::to_string(address), "$" + hex4(values[k]),
            std::to_string(values[k])});
    }
    return rows;
}

void rtuReadCommand(ModbusState& state, OperatorView& view)
{
    if (!requireSerialPort(state, view))
        return;
    serialReadSettings(state, view);
    const std::uint8_t functionCode = readFunctionCode(view, WidgetId::RtuReadTypeCombo);
    const std::uint16_t start = parseWord(view.text(WidgetId::RtuReadStartField));
    const std::uint16_t quantity = parseWord(view.text(WidgetId::RtuReadCountField));
    if (quantity == 0 || quantity > maxReadQuantity) {
        view.messageBox("Hinweis", "Anzahl muss 1..125 sein.");
        return;
    }

    const std::size_t requestLength = rtuBuildReadRequest(state, functionCode, start, quantity);
    view.logDump("TX", state.rtuTxFrame.data(), requestLength);

    std::vector<std::uint16_t> values;
    const ResultCode r = rtuReadRegisters(state, functionCode, start, quantity, values);
    if (r < 0) {
        reportFailure(view, r);
        return;
    }
    view.logDump(
        "RX", state.responseBuffer.data(), static_cast<std::size_t>(rtuReadReplyLength(quantity)));
    view.appendLog(readSuccessLine(functionCode, quantity, start));
    view.setRegisterRows(WidgetId::RtuRegisterList, registerRows(start, values));
}

void tcpReadCommand(ModbusState& state, OperatorView& view)
{
    if (!requireTcpConnection(state, view))
        return;
    tcpReadSettings(state, view);
    const std::uint8_t functionCode = readFunctionCode(view, WidgetId::TcpReadTypeCombo);
    const std::uint16_t start = parseWord(view.text(WidgetId::TcpReadStartField));
    const std::uint16_t quantity = parseWord(view.text(WidgetId::TcpReadCountField));
    if (quantity == 0 || quantity > maxReadQuantity) {
        view.messageBox("Hinweis", "Anzahl muss 1..125 sein.");
        return;
    }

    std::vector<std::uint16_t> values;
    const ResultCode r
        = runTcpWithResync(state, view, "TCP erneut verbunden. Erneuter Leseversuch...",
            [&] { return tcpReadRegisters(state, functionCode, start, quantity, values); });
    dumpTcpRequest(state, view);
    if (r < 0) {
        reportFailure(view, r);
        return;
    }
    dumpTcpResponse(state, view);
    view.appendLog(readSuccessLine(functionCode, quantity, start));
    view.setRegisterRows(WidgetId::TcpRegisterList, registerRows(start, values));
}

void rtuWriteSingleCommand(ModbusState& state, OperatorView& view)
{
    if (!requireSerialPort(state, view))
        return;
    serialReadSettings(state, view);
    const std::uint16_t address = parseWord(view.text(WidgetId::RtuWriteAddressField));
    const std::uint16_t value = parseWord(view.text(WidgetId::RtuWriteValueField));

    const std::size_t requestLength = rtuBuildWriteSingleRequest(state, address, value);
    view.logDump("TX", state.rtuTxFrame.data(), requestLength);

    const ResultCode r = rtuWriteSingleRegister(state, address, value);
    if (r < 0) {
        reportFailure(view, r);
        return;
    }
    view.logDump("RX", state.responseBuffer.data(), 8);
    view.appendLog(writeSingleSuccessLine(address, value, ""));
}

void tcpWriteSingleCommand(ModbusState& state, OperatorView& view)
{
    if (!requireTcpConnection(state, view))
        return;
    tcpReadSettings(state, view);
    const std::uint16_t address = parseWord(view.text(WidgetId::TcpWriteAddressField));
    const std::uint16_t value = parseWord(view.text(WidgetId::TcpWriteValueField));

    const ResultCode r
        = runTcpWithResync(state, view, "TCP erneut verbunden. Erneuter Schreibversuch (FC06)...",
            [&] { return tcpWriteSingleRegister(state, address, value); });
    dumpTcpRequest(state, view);
    if (r < 0) {
        reportFailure(view, r);
        return;
    }
    dumpTcpResponse(state, view);
    view.appendLog(writeSingleSuccessLine(address, value, " (TCP)"));
}

void rtuWriteMultipleCommand(ModbusState& state, OperatorView& view)
{
    if (!requireSerialPort(state, view))
        return;
    serialReadSettings(state, view);
    std::uint16_t start = 0;
    std::vector<std::uint16_t> values;
    std::size_t count = 0;
    if (!readValueList(view, WidgetId::RtuWriteStartField, WidgetId::RtuWriteValuesField, start,
            values, count))
        return;

    const std::size_t requestLength = rtuBuildWriteMultipleRequest(state, start, values, count);
    view.logDump("TX", state.rtuTxFrame.data(), requestLength);

    ResultCode r = rtuWriteMultipleRegisters(state, start, values, count);
    if (r == RC_RTU_BAD_EXCEPTION) {
        // An exception code no device sends means we read into the middle of something else:
        // throw the input away and ask once more.
        view.appendLog(
            "Hinweis: RTU-Stream neu synchronisieren – RX spülen & einmal erneut senden...");
        serialDrain(state.serial);
        sleepMs(5);
        r = rtuWriteMultipleRegisters(state, start, values, count);
    }
    if (r < 0) {
        reportFailure(view, r);
        return;
    }
    view.logDump("RX", state.responseBuffer.data(), 8);
    view.appendLog(writeMultipleSuccessLine(count, start, ""));

    std::string line;
    for (std::size_t i = 0; i < count; ++i) {
        line += (i % listingItemsPerLine == 0) ? "    " : ", ";
        line += addressText(static_cast<std::uint16_t>(start + i)) + " = " + valueText(values[i]);
        if (i % listingItemsPerLine == listingItemsPerLine - 1 || i == count - 1) {
            view.appendLog(line);
            line.clear();
        }
    }
}

void tcpWriteMultipleCommand(ModbusState& state, OperatorView& view)
{
    if (!requireTcpConnection(state, view))
        return;
    tcpReadSettings(state, view);
    std::uint16_t start = 0;
    std::vector<std::uint16_t> values;
    std::size_t count = 0;
    if (!readValueList(view, WidgetId::TcpWriteStartField, WidgetId::TcpWriteValuesField, start,
            values, count))
        return;

    const ResultCode r
        = runTcpWithResync(state, view, "TCP erneut verbunden. Erneuter Schreibversuch (FC16)...",
            [&] { return tcpWriteMultipleRegisters(state, start, values, count); });
    dumpTcpRequest(state, view);
    if (r < 0) {
        reportFailure(view, r);
        return;
    }
    dumpTcpResponse(state, view);
    view.appendLog(writeMultipleSuccessLine(count, start, " (TCP)"));
}

} // namespace kalvenor
