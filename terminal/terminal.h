#pragma once

#include "commands/operator_view.h"
#include "link/serial_link.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace kalvenor {

struct TerminalState
{
    std::string lineEnd = "\r"; // chosen with the options
    std::string lastLineEnd = "\r"; // used by the last send
    std::string lastSentText; // trimmed text of the last normal send
    std::deque<std::string> history; // oldest first, at most 200
    int historyIndex = -1; // -1 while not browsing
    std::string savedInput; // the input when browsing began
};

// Windows-1252 stands in for the system's ANSI code page: UTF-8 text to bytes (unrepresentable
// characters become '?'), and bytes back to UTF-8.
std::string encodeCp1252(const std::string& utf8);
std::string decodeCp1252(const std::uint8_t* bytes, std::size_t count);

void terminalSend(TerminalState& terminal, SerialSettings& serial, OperatorView& view);
// The 50 ms tick: shows what arrived, only on the "Seriell" tab with a port open.
void terminalPoll(TerminalState& terminal, SerialSettings& serial, OperatorView& view);
// option is one of the four LineEnd...Option identifiers.
void selectLineEnd(TerminalState& terminal, OperatorView& view, WidgetId option);
void historyAdd(TerminalState& terminal, const std::string& text);
void historyBack(TerminalState& terminal, OperatorView& view);
void historyForward(TerminalState& terminal, OperatorView& view);
void setTerminalInput(OperatorView& view, const std::string& text);

} // namespace kalvenor
