#include "tools/port_scan.h"

namespace kalvenor {

namespace {

// Enough to prove the device can be opened and configured; nothing is sent or read.
SerialPortConfig probeConfig(const std::string& name)
{
    SerialPortConfig config;
    config.name = name;
    config.baudRate = 9600;
    config.parity = 0;
    config.dataBits = 8;
    config.stopBits = 1.0f;
    config.handshake = HandshakeNone;
    config.inputBufferSize = 64;
    config.outputBufferSize = 64;
    return config;
}

} // namespace

std::string normalizePortName(const std::string& name)
{
    std::size_t first = name.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    std::size_t last = name.find_last_not_of(' ');
    std::string normalized = name.substr(first, last - first + 1);
    for (char& c : normalized) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return normalized;
}

bool isPortListed(OperatorView& view, const std::string& name)
{
    const std::string wanted = normalizePortName(name);
    const int count = view.itemCount(WidgetId::RtuPortCombo);
    for (int i = 0; i < count; ++i) {
        if (normalizePortName(view.itemText(WidgetId::RtuPortCombo, i)) == wanted)
            return true;
    }
    return false;
}

int probePort(SerialSettings& serial, OperatorView& view, const std::string& name)
{
    if (isPortListed(view, name))
        return 0;
    // Our own open port would refuse a second exclusive open; it counts as available.
    if (serial.handle && normalizePortName(serial.portName) == normalizePortName(name)) {
        view.addItem(WidgetId::RtuPortCombo, name);
        return 1;
    }
    if (!serial.ports->open(probeConfig(name)))
        return 0;
    // The temporary port is already closed again: the probe only needed the open to succeed.
    view.addItem(WidgetId::RtuPortCombo, name);
    return 1;
}

void portScan(SerialSettings& serial, OperatorView& view)
{
    view.clearItems(WidgetId::RtuPortCombo);
    int found = 0;
    if (serial.handle && !serial.portName.empty()) {
        view.addItem(WidgetId::RtuPortCombo, serial.portName);
        found = 1;
    }
    for (const std::string& name : serial.ports->candidateNames())
        found += probePort(serial, view, name);
    if (found == 0) {
        view.setText(WidgetId::RtuPortCombo, "");
        view.appendLog("Keine verfügbaren Ports gefunden.");
    } else {
        view.appendLog(
            "Gefundene COM Ports: " + std::to_string(view.itemCount(WidgetId::RtuPortCombo)));
    }
}

void selectFirstPort(SerialSettings& serial, OperatorView& view)
{
    if (view.itemCount(WidgetId::RtuPortCombo) > 0) {
        const std::string first = view.itemText(WidgetId::RtuPortCombo, 0);
        view.setCurrentIndex(WidgetId::RtuPortCombo, 0);
        // An editable combo keeps typed text when the index does not change; set it outright.
        view.setText(WidgetId::RtuPortCombo, first);
        serial.portName = first;
    } else {
        view.setText(WidgetId::RtuPortCombo, "");
    }
}

void portScanCommand(SerialSettings& serial, OperatorView& view)
{
    portScan(serial, view);
    selectFirstPort(serial, view);
    view.appendLog("Portliste aktualisiert.");
}

} // namespace kalvenor
