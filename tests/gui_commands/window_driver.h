#pragma once

#include "tests/ui/window_fixture.h"

#include <QString>

#include <cstddef>
#include <string>
#include <vector>

class QComboBox;
class QWidget;

namespace kalvenor::test {

using Strings = std::vector<std::string>;
// A register list as shown: every row with all five cells, the untitled fifth one included.
using TableRows = std::vector<Strings>;

// Operates a RunningWindow by widget name the way an operator does, so every action reaches
// the program through the signals a real click, keystroke or choice raises.
class WindowDriver
{
public:
    explicit WindowDriver(RunningWindow& running);

    // A left click on a push button.
    void click(const char* button);
    // Brings a tab to the front by clicking its title.
    void showTab(int index);
    // Replaces the text of a line field, a spin field or the editable port combo: select all,
    // then type the text key by key (an empty text is deleted instead).
    void type(const char* field, const QString& text);
    // Opens a drop-down with a click, walks to the entry with the arrow keys inside the open
    // list and takes it with Return. False when the entry is missing or the choice did not land.
    [[nodiscard]] bool choose(const char* combo, const QString& entry);

    std::string rtuStatus() const;
    std::string tcpStatus() const;
    TableRows table(const char* list) const;

    // Remembers where the log ends now; logSinceMark() gives what was written after it.
    void mark();
    Strings logSinceMark() const;
    std::vector<FakeDialogs::Box> boxesSinceMark() const;

private:
    QWidget* widget(const char* name) const;

    RunningWindow& m_running;
    std::size_t m_logMark = 0;
    std::size_t m_boxMark = 0;
};

} // namespace kalvenor::test
