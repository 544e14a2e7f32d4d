#include "ui/dispatch.h"

#include "commands/register_commands.h"
#include "link/serial_commands.h"
#include "link/tcp_commands.h"
#include "terminal/terminal.h"
#include "tools/port_scan.h"
#include "tools/table_menu.h"
#include "ui/main_window.h"
#include "ui/web_addresses.h"

namespace kalvenor {

namespace {

using WidgetHandler = void (*)(Dispatch& d, WidgetId id);
using CommandHandler = void (*)(Dispatch& d, int command);

struct WidgetRoute
{
    WidgetId id;
    UiEvent event;
    WidgetHandler handler;
};

struct CommandRoute
{
    int command;
    CommandHandler handler;
};

constexpr int command(MenuCommand c) { return static_cast<int>(c); }

void applySerialChanges(Dispatch& d, WidgetId) { serialApplyChanges(d.app.modbus, d.window); }

void showTableMenu(Dispatch& d, WidgetId list)
{
    // The menu's choice arrives like any other menu command.
    const int chosen = showRowMenu(d.app.rowMenu, d.window, list);
    if (chosen != 0)
        d.menuCommand(chosen);
}

void chooseLineEnd(Dispatch& d, WidgetId option)
{
    selectLineEnd(d.app.terminal, d.window, option);
}

// Return, Up and Down act only for the terminal's input field on the "Seriell" tab.
bool terminalKeysApply(Dispatch& d)
{
    return d.window.currentIndex(WidgetId::TabPanel) == SerialTerminalTab
        && d.window.hasFocus(WidgetId::TerminalInputField);
}

void copyMenuCell(Dispatch& d, int number)
{
    copyCell(d.app.rowMenu, d.window, number - command(MenuCommand::CopyAddressHex));
}

// clang-format off
const WidgetRoute widgetRoutes[] = {
    // Every serial setting the operator changes is applied at once.
    {WidgetId::RtuPortCombo, UiEvent::TextEdited, applySerialChanges},
    {WidgetId::RtuPortCombo, UiEvent::SelectionChanged, applySerialChanges},
    {WidgetId::RtuPortCombo, UiEvent::FocusLost, applySerialChanges},
    {WidgetId::BaudCombo, UiEvent::SelectionChanged, applySerialChanges},
    {WidgetId::ParityCombo, UiEvent::SelectionChanged, applySerialChanges},
    {WidgetId::DataBitsCombo, UiEvent::SelectionChanged, applySerialChanges},
    {WidgetId::StopBitsCombo, UiEvent::SelectionChanged, applySerialChanges},
    {WidgetId::HandshakeCombo, UiEvent::SelectionChanged, applySerialChanges},
    {WidgetId::SlaveIdSpin, UiEvent::ValueChanged, applySerialChanges},
    {WidgetId::RtuTimeoutSpin, UiEvent::ValueChanged, applySerialChanges},

    {WidgetId::ScanButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { portScanCommand(d.app.modbus.serial, d.window); }},
    {WidgetId::ConnectButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { serialConnect(d.app.modbus, d.window); }},
    {WidgetId::DisconnectButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { serialDisconnect(d.app.modbus, d.window); }},
    {WidgetId::TcpConnectButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { tcpConnect(d.app.modbus, d.window); }},
    {WidgetId::TcpDisconnectButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { tcpDisconnect(d.app.modbus, d.window); }},
    {WidgetId::TabPanel, UiEvent::TabChanged,
        [](Dispatch& d, WidgetId) { tabChanged(d.app, d.window); }},

    {WidgetId::RtuReadButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { rtuReadCommand(d.app.modbus, d.window); }},
    {WidgetId::RtuWriteSingleButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { rtuWriteSingleCommand(d.app.modbus, d.window); }},
    {WidgetId::RtuWriteMultipleButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { rtuWriteMultipleCommand(d.app.modbus, d.window); }},
    {WidgetId::TcpReadButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { tcpReadCommand(d.app.modbus, d.window); }},
    {WidgetId::TcpWriteSingleButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { tcpWriteSingleCommand(d.app.modbus, d.window); }},
    {WidgetId::TcpWriteMultipleButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { tcpWriteMultipleCommand(d.app.modbus, d.window); }},
    {WidgetId::RtuRegisterList, UiEvent::RightClick, showTableMenu},
    {WidgetId::TcpRegisterList, UiEvent::RightClick, showTableMenu},

    {WidgetId::WebLink, UiEvent::Clicked,
        [](Dispatch& d, WidgetId) { d.window.dialogs().openWebPage(MakerWebAddress); }},
    {WidgetId::ClearLogButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { d.window.clearLog(); }},
    {WidgetId::DonateImage, UiEvent::Clicked,
        [](Dispatch& d, WidgetId) { d.window.dialogs().openWebPage(DonationWebAddress); }},

    {WidgetId::LineEndNoneOption, UiEvent::Clicked, chooseLineEnd},
    {WidgetId::LineEndLfOption, UiEvent::Clicked, chooseLineEnd},
    {WidgetId::LineEndCrOption, UiEvent::Clicked, chooseLineEnd},
    {WidgetId::LineEndCrLfOption, UiEvent::Clicked, chooseLineEnd},
    {WidgetId::TerminalSendButton, UiEvent::Pressed,
        [](Dispatch& d, WidgetId) { terminalSend(d.app.terminal, d.app.modbus.serial, d.window); }},
};

const CommandRoute commandRoutes[] = {
    {command(MenuCommand::InfoMenuItem), [](Dispatch& d, int) { d.window.showInfoWindow(); }},
    {command(MenuCommand::SendShortcut), [](Dispatch& d, int) {
        if (terminalKeysApply(d))
            terminalSend(d.app.terminal, d.app.modbus.serial, d.window);
    }},
    {command(MenuCommand::HistoryBackShortcut), [](Dispatch& d, int) {
        if (terminalKeysApply(d))
            historyBack(d.app.terminal, d.window);
    }},
    {command(MenuCommand::HistoryForwardShortcut), [](Dispatch& d, int) {
        if (terminalKeysApply(d))
            historyForward(d.app.terminal, d.window);
    }},
    {command(MenuCommand::CopyAddressHex), copyMenuCell},
    {command(MenuCommand::CopyAddressDec), copyMenuCell},
    {command(MenuCommand::CopyValueHex), copyMenuCell},
    {command(MenuCommand::CopyValueDec), copyMenuCell},
    {command(MenuCommand::CopyRow), [](Dispatch& d, int) { copyRow(d.app.rowMenu, d.window); }},
    {command(MenuCommand::ExportCsv), [](Dispatch& d, int) {
        if (d.app.rowMenu.menuList)
            exportTableCsv(d.window, *d.app.rowMenu.menuList);
    }},
};
// clang-format on

} // namespace

Dispatch::Dispatch(AppState& appState, MainWindow& mainWindow)
    : app(appState)
    , window(mainWindow)
{
}

void Dispatch::widgetEvent(WidgetId id, UiEvent event)
{
    for (const WidgetRoute& route : widgetRoutes) {
        if (route.id == id && route.event == event) {
            route.handler(*this, id);
            return;
        }
    }
}

void Dispatch::menuCommand(int number)
{
    for (const CommandRoute& route : commandRoutes) {
        if (route.command == number) {
            route.handler(*this, number);
            return;
        }
    }
}

void Dispatch::timerTick() { terminalPoll(app.terminal, app.modbus.serial, window); }

void tabChanged(AppState& app, MainWindow& window)
{
    const int tab = window.currentIndex(WidgetId::TabPanel);
    if (tab == RtuReadTab)
        window.fitRegisterList(WidgetId::RtuRegisterList);
    else if (tab == TcpReadTab)
        window.fitRegisterList(WidgetId::TcpRegisterList);

    if ((tab == RtuReadTab || tab == RtuWriteTab || tab == SerialTerminalTab)
        && app.activeTransport != 0) {
        app.activeTransport = 0;
        window.appendLog("Transport: Seriell/RTU aktiv.");
    } else if ((tab == TcpReadTab || tab == TcpWriteTab) && app.activeTransport != 1) {
        app.activeTransport = 1;
        window.appendLog("Transport: TCP aktiv.");
    }
}

} // namespace kalvenor
