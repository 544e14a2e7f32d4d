#include "tools/table_menu.h"

#include "tools/csv_export.h"

#include <vector>

namespace kalvenor {

namespace {

int command(MenuCommand c) { return static_cast<int>(c); }

const MenuEntry separator {0, ""};

} // namespace

int showRowMenu(RowMenuState& menu, OperatorView& view, WidgetId list)
{
    menu.menuRow = view.selectedRow(list);
    if (menu.menuRow < 0)
        return 0;
    RegisterRow cells;
    for (int column = 0; column < 4; ++column)
        cells[static_cast<std::size_t>(column)] = view.cellText(list, menu.menuRow, column);

    const std::vector<MenuEntry> entries = {
        {command(MenuCommand::CopyAddressHex), "Adresse (hex) kopieren: " + cells[0]},
        {command(MenuCommand::CopyAddressDec), "Adresse (dez) kopieren: " + cells[1]},
        separator,
        {command(MenuCommand::CopyValueHex), "Wert (hex) kopieren: " + cells[2]},
        {command(MenuCommand::CopyValueDec), "Wert (dez) kopieren: " + cells[3]},
        separator,
        {command(MenuCommand::CopyRow), "Komplette Zeile kopieren"},
        separator,
        {command(MenuCommand::ExportCsv), "Tabelle als CSV speichern..."},
    };
    menu.menuList = list;
    return view.dialogs().popupMenu(entries);
}

void copyCell(const RowMenuState& menu, OperatorView& view, int column)
{
    if (menu.menuRow < 0 || !menu.menuList || column < 0 || column > 3)
        return;
    view.dialogs().setClipboardText(view.cellText(*menu.menuList, menu.menuRow, column));
}

void copyRow(const RowMenuState& menu, OperatorView& view)
{
    if (menu.menuRow < 0 || !menu.menuList)
        return;
    std::string row;
    for (int column = 0; column < 4; ++column) {
        if (column != 0)
            row += '\t';
        row += view.cellText(*menu.menuList, menu.menuRow, column);
    }
    view.dialogs().setClipboardText(row);
}

void exportTableCsv(OperatorView& view, WidgetId list)
{
    const int count = view.rowCount(list);
    if (count <= 0) {
        view.messageBox("CSV", "Keine Daten in der Tabelle.");
        return;
    }
    const std::string path
        = view.dialogs().saveFileName("CSV speichern", "register.csv", "CSV (*.csv)|*.csv");
    if (path.empty())
        return;

    std::vector<RegisterRow> rows(static_cast<std::size_t>(count));
    for (int row = 0; row < count; ++row) {
        for (int column = 0; column < 4; ++column)
            rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]
                = view.cellText(list, row, column);
    }

    switch (saveFileReplacing(path, registerTableCsv(rows))) {
    case FileSaveResult::Saved:
        view.appendLog("CSV gespeichert: " + path);
        break;
    case FileSaveResult::CannotCreate:
        view.messageBox("Fehler", "Datei konnte nicht erstellt werden.");
        break;
    case FileSaveResult::WriteFailed:
        view.messageBox("Fehler", "Datei konnte nicht geschrieben werden.");
        break;
    }
}

} // namespace kalvenor
