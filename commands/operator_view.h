#pragma once

#include "commands/widget_id.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kalvenor {

// The four shown cells of a register table row: "0x0064", "100", "$00FF", "255".
using RegisterRow = std::array<std::string, 4>;

// One entry of a popup menu; command 0 is a separator.
struct MenuEntry
{
    int command = 0;
    std::string text;
};

// The operator interactions that block until answered. The window shows real dialogs; a test
// answers them itself, so nothing ever waits on a modal loop in a test.
class OperatorDialogs
{
public:
    virtual ~OperatorDialogs() = default;

    // A message box with a title, a text and one OK button.
    virtual void messageBox(const std::string& title, const std::string& text) = 0;
    // Save-file dialog; filter is "display|pattern". Returns the chosen path, "" when cancelled.
    virtual std::string saveFileName(const std::string& title, const std::string& defaultName,
        const std::string& filter)
        = 0;
    // Popup menu at the mouse position; returns the chosen command, 0 when closed without one.
    virtual int popupMenu(const std::vector<MenuEntry>& entries) = 0;
    virtual void setClipboardText(const std::string& text) = 0;
    // The desktop's "open" action on a web address; the outcome is ignored.
    virtual void openWebPage(const std::string& address) = 0;
};

// What the commands see of the window: widgets addressed by identifier, the log, the status
// bar, the terminal view, and the blocking interactions. Texts are UTF-8.
class OperatorView
{
public:
    virtual ~OperatorView() = default;

    // Text of a text field, or the edit text of a combo box.
    virtual std::string text(WidgetId id) const = 0;
    virtual void setText(WidgetId id, const std::string& text) = 0;
    // Selected position of a combo box or of TabPanel; -1 when nothing is selected.
    virtual int currentIndex(WidgetId id) const = 0;
    virtual void setCurrentIndex(WidgetId id, int index) = 0;
    virtual int spinValue(WidgetId id) const = 0;
    // State of an option button.
    virtual bool isChecked(WidgetId id) const = 0;
    virtual bool hasFocus(WidgetId id) const = 0;
    virtual void setFocus(WidgetId id) = 0;

    // The entry list of a combo box.
    virtual void clearItems(WidgetId id) = 0;
    virtual void addItem(WidgetId id, const std::string& text) = 0;
    virtual int itemCount(WidgetId id) const = 0;
    virtual std::string itemText(WidgetId id, int index) const = 0;

    // Register tables (RtuRegisterList, TcpRegisterList): replace all rows at once.
    virtual void setRegisterRows(WidgetId list, const std::vector<RegisterRow>& rows) = 0;
    virtual int rowCount(WidgetId list) const = 0;
    virtual std::string cellText(WidgetId list, int row, int column) const = 0;
    // The selected row, -1 for none.
    virtual int selectedRow(WidgetId list) const = 0;

    // One time-stamped line at the end of the log; the newest line becomes the selected one.
    virtual void appendLog(const std::string& text) = 0;
    // Shows the state of both links in the status bar.
    virtual void refreshStatusBar() = 0;
    // Adds one entry to the terminal view and scrolls to its end.
    virtual void terminalAppend(const std::string& text) = 0;

    virtual OperatorDialogs& dialogs() = 0;

    void messageBox(const std::string& title, const std::string& text)
    {
        dialogs().messageBox(title, text);
    }
    // One dump line: label, " (", count, " B): ", the bytes in hex.
    void logDump(const std::string& label, const std::uint8_t* bytes, std::size_t count);
};

// Bytes as two upper-case hex digits each, separated by one blank; count 0 gives "".
std::string hexBytes(const std::uint8_t* bytes, std::size_t count);

// The log's time stamp "[hh:mm:ss] " followed by the text.
std::string logLine(int hour, int minute, int second, const std::string& text);

} // namespace kalvenor
