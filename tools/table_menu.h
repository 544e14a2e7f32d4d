#pragma once

#include "commands/operator_view.h"

#include <optional>
#include <string>

namespace kalvenor {

// The row and register table of the last right click.
struct RowMenuState
{
    int menuRow = -1;
    std::optional<WidgetId> menuList;
};

// Right click on RtuRegisterList or TcpRegisterList: remembers the row and table, shows the menu.
// Returns the chosen command (4100..4105) for the event loop to dispatch; 0 when no row was
// selected (no menu) or the menu closed without a choice.
int showRowMenu(RowMenuState& menu, OperatorView& view, WidgetId list);
void copyCell(const RowMenuState& menu, OperatorView& view, int column);
void copyRow(const RowMenuState& menu, OperatorView& view);
void exportTableCsv(OperatorView& view, WidgetId list);

} // namespace kalvenor
