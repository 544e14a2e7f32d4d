#pragma once

#include "tests/ui/window_fixture.h"

#include <QString>
#include <Qt>

#include <string>

class QTableWidget;

namespace kalvenor::test {

// What an operator does at the running window, delivered the way the platform delivers it:
// keys and the right click go to the window handle, so they pass the window-wide key filter
// and the context-menu machinery exactly as real input does.

// Left click on a named widget (button, option button, field).
void click(RunningWindow& running, const char* name);
// Selects a tab by clicking its tab.
void showTab(RunningWindow& running, int tab);
// One key press and release at the window; it reaches whatever has the input focus.
void press(RunningWindow& running, Qt::Key key);
// Types ASCII text at the window, one key per character.
void type(RunningWindow& running, const QString& text);
// Clicks into a named line field, clears it and types text.
void fillField(RunningWindow& running, const char* name, const QString& text);
// Left click on a row of a register table (selects it).
void clickRow(QTableWidget* list, int row);
// Right click on the table's viewport at a point in viewport coordinates.
void rightClickAt(MainWindow& window, QTableWidget* list, QPoint point);
// Right click on the middle of a row.
void rightClickRow(MainWindow& window, QTableWidget* list, int row);
// The terminal view's whole text.
std::string terminalText(const RunningWindow& running);

} // namespace kalvenor::test
