#include "terminal/terminal.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kalvenor {

namespace {

constexpr std::size_t historyLimit = 200;

// Only the blank is trimmed; tabs and line ends typed into the field stay part of the text.
std::string trimBlanks(const std::string& text)
{
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

struct LineEndOption
{
    WidgetId option;
    const char* lineEnd;
    const char* logText;
};

// In the order a send consults them: the first selected one wins.
constexpr LineEndOption lineEndOptions[] = {
    {WidgetId::LineEndCrLfOption, "\r\n", "EOL: CR+LF"},
    {WidgetId::LineEndCrOption, "\r", "EOL: CR"},
    {WidgetId::LineEndLfOption, "\n", "EOL: LF"},
    {WidgetId::LineEndNoneOption, "", "EOL: Keins"},
};

void writeBytes(SerialPort& port, const std::string& bytes)
{
    // A short write is not reported: the terminal is a best-effort view of the line.
    (void)port.write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

void terminalSend(TerminalState& terminal, SerialSettings& serial, OperatorView& view)
{
    if (!serial.handle) {
        view.messageBox("Hinweis", "Bitte zuerst den seriellen Port öffnen.");
        return;
    }
    const std::string raw = view.text(WidgetId::TerminalInputField);
    const std::string trimmed = trimBlanks(raw);

    std::string eol = terminal.lineEnd;
    for (const LineEndOption& entry : lineEndOptions) {
        if (view.isChecked(entry.option)) {
            eol = entry.lineEnd;
            break;
        }
    }

    // A line just sent with CR and sent again after switching to CR+LF only needs its LF: the
    // device already has the text and the CR.
    if (eol == "\r\n" && terminal.lastLineEnd == "\r" && trimmed == terminal.lastSentText) {
        writeBytes(*serial.handle, "\n");
        terminal.lastLineEnd = eol;
        terminal.lineEnd = eol;
        view.terminalAppend(">> " + trimmed);
        view.setText(WidgetId::TerminalInputField, "");
        return;
    }

    const std::string payload = raw + eol;
    if (payload.empty())
        return;
    const std::string bytes = encodeCp1252(payload);
    if (!bytes.empty())
        writeBytes(*serial.handle, bytes);
    view.terminalAppend(">> " + trimmed);
    view.setText(WidgetId::TerminalInputField, "");
    terminal.lastSentText = trimmed;
    terminal.lastLineEnd = eol;
    terminal.lineEnd = eol;
    historyAdd(terminal, trimmed);
}

void terminalPoll(TerminalState& /*terminal*/, SerialSettings& serial, OperatorView& view)
{
    if (view.currentIndex(WidgetId::TabPanel) != SerialTerminalTab || !serial.handle)
        return;
    std::size_t waiting = serial.handle->waitingCount();
    if (waiting == 0)
        return;
    std::vector<std::uint8_t> chunk(waiting, 0);
    std::size_t got = serial.handle->read(chunk.data(), chunk.size());
    // The chunk is shown as a C string: a zero byte ends what is displayed of it.
    const void* zero = std::memchr(chunk.data(), 0, got);
    std::size_t shown = zero
        ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - chunk.data())
        : got;
    std::string text = decodeCp1252(chunk.data(), shown);
    if (!text.empty())
        view.terminalAppend("<< " + text);
}

void selectLineEnd(TerminalState& terminal, OperatorView& view, WidgetId option)
{
    auto entry = std::find_if(std::begin(lineEndOptions), std::end(lineEndOptions),
        [option](const LineEndOption& e) { return e.option == option; });
    if (entry == std::end(lineEndOptions))
        return;
    terminal.lineEnd = entry->lineEnd;
    view.appendLog(entry->logText);
    view.setFocus(WidgetId::TerminalInputField);
}

void historyAdd(TerminalState& terminal, const std::string& text)
{
    std::string line = trimBlanks(text);
    if (line.empty())
        return;
    if (terminal.history.empty() || terminal.history.back() != line) {
        if (terminal.history.size() >= historyLimit)
            terminal.history.pop_front();
        terminal.history.push_back(std::move(line));
    }
    terminal.historyIndex = -1;
    terminal.savedInput.clear();
}

void historyBack(TerminalState& terminal, OperatorView& view)
{
    if (terminal.history.empty())
        return;
    if (terminal.historyIndex == -1) {
        terminal.savedInput = view.text(WidgetId::TerminalInputField);
        terminal.historyIndex = static_cast<int>(terminal.history.size()) - 1;
    } else if (terminal.historyIndex > 0) {
        --terminal.historyIndex;
    }
    setTerminalInput(view, terminal.history[static_cast<std::size_t>(terminal.historyIndex)]);
}

void historyForward(TerminalState& terminal, OperatorView& view)
{
    if (terminal.history.empty() || terminal.historyIndex == -1)
        return;
    if (terminal.historyIndex < static_cast<int>(terminal.history.size()) - 1) {
        ++terminal.historyIndex;
        setTerminalInput(view, terminal.history[static_cast<std::size_t>(terminal.historyIndex)]);
    } else {
        terminal.historyIndex = -1;
        setTerminalInput(view, terminal.savedInput);
    }
}

void setTerminalInput(OperatorView& view, const std::string& text)
{
    view.setText(WidgetId::TerminalInputField, text);
    view.setFocus(WidgetId::TerminalInputField);
}

} // namespace kalvenor
