#include "tests/support/fake_view.h"
#include "tools/table_menu.h"

#include <gtest/gtest.h>

#include <vector>

namespace kalvenor {

// Found by argument-dependent lookup, so they live beside MenuEntry.
bool operator==(const MenuEntry& a, const MenuEntry& b)
{
    return a.command == b.command && a.text == b.text;
}

void PrintTo(const MenuEntry& e, std::ostream* os)
{
    *os << "{" << e.command << ", \"" << e.text << "\"}";
}

namespace {

using test::FakeView;

class RowMenu : public ::testing::Test
{
protected:
    FakeView view;
    RowMenuState menu;

    void SetUp() override
    {
        view.tables[WidgetId::RtuRegisterList]
            = {{"0x0064", "100", "$00FF", "255"}, {"0x0065", "101", "$1234", "4660"}};
        view.tables[WidgetId::TcpRegisterList] = {{"0x0000", "0", "$FFFF", "65535"}};
    }
    const std::string& clipboard() const { return view.fakeDialogs.clipboard; }
};

TEST_F(RowMenu, ShowsTheCellsOfTheSelectedRowWithSeparators)
{
    view.selectedRows[WidgetId::RtuRegisterList] = 0;
    view.fakeDialogs.menuAnswers = {4102};

    EXPECT_EQ(showRowMenu(menu, view, WidgetId::RtuRegisterList), 4102);

    const std::vector<MenuEntry> expected = {
        {4100, "Adresse (hex) kopieren: 0x0064"},
        {4101, "Adresse (dez) kopieren: 100"},
        {0, ""},
        {4102, "Wert (hex) kopieren: $00FF"},
        {4103, "Wert (dez) kopieren: 255"},
        {0, ""},
        {4104, "Komplette Zeile kopieren"},
        {0, ""},
        {4105, "Tabelle als CSV speichern..."},
    };
    ASSERT_EQ(view.fakeDialogs.menus.size(), 1u);
    EXPECT_EQ(view.fakeDialogs.menus.front(), expected);
    EXPECT_EQ(menu.menuRow, 0);
    EXPECT_EQ(menu.menuList, WidgetId::RtuRegisterList);
}

TEST_F(RowMenu, NoSelectedRowShowsNoMenuAndForgetsTheRow)
{
    view.selectedRows[WidgetId::RtuRegisterList] = 1;
    EXPECT_EQ(showRowMenu(menu, view, WidgetId::RtuRegisterList), 0);
    view.selectedRows[WidgetId::RtuRegisterList] = -1;
    view.fakeDialogs.menuAnswers = {4100};

    EXPECT_EQ(showRowMenu(menu, view, WidgetId::RtuRegisterList), 0);
    EXPECT_EQ(view.fakeDialogs.menus.size(), 1u); // only the first click showed one
    EXPECT_EQ(menu.menuRow, -1);

    // The items of a menu from earlier must not copy a row that is no longer chosen.
    view.fakeDialogs.clipboard = "untouched";
    copyCell(menu, view, 0);
    copyRow(menu, view);
    EXPECT_EQ(clipboard(), "untouched");
}

TEST_F(RowMenu, ClosingTheMenuWithoutAChoiceReturnsNoCommand)
{
    view.selectedRows[WidgetId::RtuRegisterList] = 0;
    EXPECT_EQ(showRowMenu(menu, view, WidgetId::RtuRegisterList), 0);
    EXPECT_EQ(view.fakeDialogs.menus.size(), 1u);
    EXPECT_EQ(clipboard(), "");
}

TEST_F(RowMenu, ItemsCopyTheCellOrTheWholeRowOfTheClickedRow)
{
    view.selectedRows[WidgetId::RtuRegisterList] = 1;
    showRowMenu(menu, view, WidgetId::RtuRegisterList);
    // The selection moves on after the click; the menu still acts on the clicked row.
    view.selectedRows[WidgetId::RtuRegisterList] = 0;

    const std::pair<int, const char*> cells[]
        = {{0, "0x0065"}, {1, "101"}, {2, "$1234"}, {3, "4660"}};
    for (const auto& [column, text] : cells) {
        copyCell(menu, view, column);
        EXPECT_EQ(clipboard(), text) << "column " << column;
    }
    copyRow(menu, view);
    EXPECT_EQ(clipboard(), "0x0065\t101\t$1234\t4660");
}

TEST_F(RowMenu, AMenuOnTheTcpTableCopiesTcpCells)
{
    view.selectedRows[WidgetId::RtuRegisterList] = 0;
    view.selectedRows[WidgetId::TcpRegisterList] = 0;
    view.fakeDialogs.menuAnswers = {4102};
    EXPECT_EQ(showRowMenu(menu, view, WidgetId::TcpRegisterList), 4102);
    EXPECT_EQ(view.fakeDialogs.menus.front().at(3).text, "Wert (hex) kopieren: $FFFF");

    copyCell(menu, view, 2);
    EXPECT_EQ(clipboard(), "$FFFF");
    copyRow(menu, view);
    EXPECT_EQ(clipboard(), "0x0000\t0\t$FFFF\t65535");
}

TEST_F(RowMenu, AColumnOutsideTheFourCellsCopiesNothing)
{
    view.selectedRows[WidgetId::RtuRegisterList] = 0;
    showRowMenu(menu, view, WidgetId::RtuRegisterList);
    view.fakeDialogs.clipboard = "untouched";
    copyCell(menu, view, 4);
    copyCell(menu, view, -1);
    EXPECT_EQ(clipboard(), "untouched");
}

} // namespace
} // namespace kalvenor
