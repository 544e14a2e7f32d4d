#include "link/serial_commands.h"

#include "commands/number_parsing.h"
#include "link/serial_link.h"

#include <string>

namespace kalvenor {

int handshakeModeForItem(int item)
{
    switch (item) {
    case 0:
        return HandshakeNone;
    case 1:
        return HandshakeXonXoff;
    case 2:
        return HandshakeRtsCts;
    case 3:
        // Linux has no DSR/DTR flow control; holding both lines active is what a device
        // that waits for DTR (and often RTS) before it talks needs.
        return HandshakeDtrRtsActive;
    default:
        return -1;
    }
}

void serialReadSettings(ModbusState& state, OperatorView& view)
{
    SerialSettings& serial = state.serial;
    serial.portName = view.text(WidgetId::RtuPortCombo);
    serial.baudRate = parseNumber(view.text(WidgetId::BaudCombo));

    // The list reads None, Even, Odd; the port layer counts 0 none, 1 odd, 2 even.
    switch (view.currentIndex(WidgetId::ParityCombo)) {
    case 0:
        serial.parity = 0;
        break;
    case 1:
        serial.parity = 2;
        break;
    case 2:
        serial.parity = 1;
        break;
    default:
        break; // no selection keeps what the port had
    }
    serial.dataBits = view.currentIndex(WidgetId::DataBitsCombo) == 0 ? 7 : 8;
    serial.stopBits = view.currentIndex(WidgetId::StopBitsCombo) == 0 ? 1.0f : 2.0f;

    state.slaveId = static_cast<std::uint8_t>(view.spinValue(WidgetId::SlaveIdSpin) & 0xFF);
    serial.rxTimeoutMs = view.spinValue(WidgetId::RtuTimeoutSpin);
    serialApplyTimeouts(serial);

    int mode = handshakeModeForItem(view.currentIndex(WidgetId::HandshakeCombo));
    if (mode >= 0)
        serial.handshake = mode;
}

void serialConnect(ModbusState& state, OperatorView& view)
{
    serialReadSettings(state, view);
    SerialSettings& serial = state.serial;
    if (serial.portName.empty()) {
        view.messageBox("Hinweis", "Bitte einen Port wählen/eingeben.");
        return;
    }
    if (serialOpen(serial)) {
        view.appendLog("Port geöffnet: " + serial.portName);
    } else {
        view.appendLog("Konnte Port nicht öffnen: " + serial.portName);
        view.messageBox("Fehler", "Port konnte nicht geöffnet werden.");
    }
    view.refreshStatusBar();
}

void serialDisconnect(ModbusState& state, OperatorView& view)
{
    serialClose(state.serial);
    view.refreshStatusBar();
    view.appendLog("Port geschlossen.");
}

void serialApplyChanges(ModbusState& state, OperatorView& view)
{
    SerialSettings& serial = state.serial;
    const std::string oldName = serial.portName;
    const std::int64_t oldBaud = serial.baudRate;
    const int oldParity = serial.parity;
    const int oldDataBits = serial.dataBits;
    const float oldStopBits = serial.stopBits;
    const int oldHandshake = serial.handshake;
    const int oldTimeout = serial.rxTimeoutMs;

    // An open port takes the new time-outs here already, before any re-open.
    serialReadSettings(state, view);

    if (!serial.handle) {
        view.refreshStatusBar();
        return;
    }

    const bool lineChanged = serial.portName != oldName || serial.baudRate != oldBaud
        || serial.parity != oldParity || serial.dataBits != oldDataBits
        || serial.stopBits != oldStopBits || serial.handshake != oldHandshake;
    if (lineChanged) {
        view.appendLog("Serielle Parameter geändert – öffne Port neu...");
        serialClose(serial);
        if (serialOpen(serial)) {
            view.appendLog("Port neu geöffnet: " + serial.portName);
        } else {
            view.appendLog("Fehler: Port konnte nach Änderung nicht neu geöffnet werden.");
            view.messageBox("Fehler", "Port konnte nach Änderung nicht neu geöffnet werden.");
        }
    } else if (serial.rxTimeoutMs != oldTimeout) {
        view.appendLog("Timeout aktualisiert: " + std::to_string(serial.rxTimeoutMs) + " ms");
    }
    view.refreshStatusBar();
}

} // namespace kalvenor
