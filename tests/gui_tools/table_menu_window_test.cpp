#include "demo/demo_device.h"
#include "tests/gui_tools/operator.h"

#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kalvenor::test {
namespace {

using Names = std::vector<std::string>;
using Entries = std::vector<std::pair<int, std::string>>;

Entries entriesOf(const std::vector<MenuEntry>& menu)
{
    Entries entries;
    for (const MenuEntry& e : menu)
        entries.emplace_back(e.command, e.text);
    return entries;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

int rightClicksOn(const RunningWindow& running, WidgetId list)
{
    return static_cast<int>(std::count(running.dispatch->widgetEvents.begin(),
        running.dispatch->widgetEvents.end(), std::make_pair(list, UiEvent::RightClick)));
}

const char* const rtuCsv = "Adresse hex.;Adresse dez.;Wert hex.;Wert dez.\r\n"
                           "0x0064;100;$00FF;255\r\n"
                           "0x0065;101;$1234;4660\r\n";

// The demo device on the serial line; the operator writes 255 to register 100 and 4660 to 101
// on "RTU Schreiben", then reads both on "RTU Lesen", all through the window.
class TableMenuWindow : public ::testing::Test
{
protected:
    demo::DemoDevice device;
    std::unique_ptr<RunningWindow> running;
    QTableWidget* rtuList = nullptr;
    QTemporaryDir folder;

    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(device.startRtu(error)) << error;
        ASSERT_TRUE(folder.isValid());
        running = std::make_unique<RunningWindow>(Names {device.rtuPath()});
        running->showActive();
        click(*running, "ConnectButton");
        ASSERT_NE(running->app->modbus.serial.handle, nullptr);

        showTab(*running, RtuWriteTab);
        for (const auto& [address, value] : {std::pair {"100", "255"}, {"101", "4660"}}) {
            fillField(*running, "RtuWriteAddressField", address);
            fillField(*running, "RtuWriteValueField", value);
            click(*running, "RtuWriteSingleButton");
        }
        showTab(*running, RtuReadTab);
        fillField(*running, "RtuReadStartField", "100");
        fillField(*running, "RtuReadCountField", "2");
        click(*running, "RtuReadButton");
        ASSERT_TRUE(running->dialogs.boxes.empty()) << running->dialogs.boxes[0].text;
        rtuList = running->find<QTableWidget>("RtuRegisterList");
        ASSERT_EQ(rtuList->rowCount(), 2);
        ASSERT_EQ(running->window->cellText(WidgetId::RtuRegisterList, 1, 2), "$1234");
    }

    // Selects the row with a left click, then right-clicks it and answers the menu.
    void chooseFromRowMenu(QTableWidget* list, int row, int answer)
    {
        clickRow(list, row);
        running->dialogs.menuAnswers.push_back(answer);
        rightClickRow(*running->window, list, row);
    }

    QString path(const char* name) const { return folder.filePath(name); }
};

TEST_F(TableMenuWindow, RowMenuNamesTheCellsAndCopiesTheChosenOne)
{
    chooseFromRowMenu(rtuList, 0, 4102);
    ASSERT_EQ(running->dialogs.menus.size(), 1u);
    // clang-format off
    EXPECT_EQ(entriesOf(running->dialogs.menus[0]), (Entries {
        {4100, "Adresse (hex) kopieren: 0x0064"},
        {4101, "Adresse (dez) kopieren: 100"},
        {0, ""},
        {4102, "Wert (hex) kopieren: $00FF"},
        {4103, "Wert (dez) kopieren: 255"},
        {0, ""},
        {4104, "Komplette Zeile kopieren"},
        {0, ""},
        {4105, "Tabelle als CSV speichern..."},
    }));
    // clang-format on
    EXPECT_EQ(running->dialogs.clipboard, "$00FF");

    struct Case
    {
        int row;
        int answer;
        const char* clipboard;
    };
    // clang-format off
    const Case cases[] = {
        {0, 4100, "0x0064"},
        {0, 4101, "100"},
        {0, 4103, "255"},
        {0, 4104, "0x0064\t100\t$00FF\t255"},
        {1, 4104, "0x0065\t101\t$1234\t4660"},
        {1, 4100, "0x0065"},
        // Closing the menu without a choice leaves the clipboard alone.
        {0, 0,    "0x0065"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        const std::size_t menusBefore = running->dialogs.menus.size();
        chooseFromRowMenu(rtuList, c.row, c.answer);
        ASSERT_EQ(running->dialogs.menus.size(), menusBefore + 1);
        EXPECT_EQ(running->dialogs.menus.back()[0].text,
            "Adresse (hex) kopieren: "
                + running->window->cellText(WidgetId::RtuRegisterList, c.row, 0));
        EXPECT_EQ(running->dialogs.clipboard, c.clipboard);
    }
    EXPECT_TRUE(running->dialogs.saveRequests.empty());
}

TEST_F(TableMenuWindow, RightClickWithoutASelectedRowShowsNoMenu)
{
    ASSERT_EQ(running->window->selectedRow(WidgetId::RtuRegisterList), -1);
    const QRect lastRow = rtuList->visualItemRect(rtuList->item(1, 0));
    rightClickAt(*running->window, rtuList, QPoint(lastRow.center().x(), lastRow.bottom() + 60));
    EXPECT_EQ(rightClicksOn(*running, WidgetId::RtuRegisterList), 1);

    // A list that was never filled.
    showTab(*running, TcpReadTab);
    auto* tcpList = running->find<QTableWidget>("TcpRegisterList");
    rightClickAt(*running->window, tcpList, tcpList->viewport()->rect().center());
    EXPECT_EQ(rightClicksOn(*running, WidgetId::TcpRegisterList), 1);

    EXPECT_TRUE(running->dialogs.menus.empty());
    EXPECT_TRUE(running->dispatch->commands.empty());
    EXPECT_EQ(running->dialogs.clipboard, "");
    EXPECT_EQ(running->app->rowMenu.menuRow, -1);
}

TEST_F(TableMenuWindow, SavingWritesTheTableAsShownAndLogsThePath)
{
    // A name without extension is used as given; an existing file is replaced without asking.
    QFile existing(path("vorhanden.csv"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write(
        "alte Daten, viel länger als die neue Tabelle ................................\n");
    existing.close();

    for (const char* name : {"werte", "vorhanden.csv"}) {
        SCOPED_TRACE(name);
        const std::string target = path(name).toStdString();
        running->dialogs.saveAnswers.push_back(target);
        chooseFromRowMenu(rtuList, 1, 4105);
        EXPECT_EQ(fileBytes(path(name)), QByteArray(rtuCsv));
        EXPECT_EQ(running->logMessages().back(), "CSV gespeichert: " + target);
    }
    ASSERT_EQ(running->dialogs.saveRequests.size(), 2u);
    const FakeDialogs::SaveRequest& asked = running->dialogs.saveRequests[0];
    EXPECT_EQ(asked.title, "CSV speichern");
    EXPECT_EQ(asked.defaultName, "register.csv");
    EXPECT_EQ(asked.filter, "CSV (*.csv)|*.csv");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), (QStringList {"vorhanden.csv", "werte"}));
    EXPECT_TRUE(running->dialogs.boxes.empty());
}

TEST_F(TableMenuWindow, CancellingTheSaveDialogWritesNothing)
{
    const Names logBefore = running->logMessages();
    chooseFromRowMenu(rtuList, 0, 4105);
    EXPECT_EQ(running->dialogs.saveRequests.size(), 1u);
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(running->logMessages(), logBefore);
    EXPECT_TRUE(running->dialogs.boxes.empty());
}

TEST_F(TableMenuWindow, MenuOnTheTcpListCopiesAndSavesThatList)
{
    std::string error;
    ASSERT_TRUE(device.startTcp("127.0.0.1", 0, error)) << error;
    fillField(*running, "TcpPortField", QString::number(device.tcpPort()));
    click(*running, "TcpConnectButton");
    showTab(*running, TcpReadTab);
    fillField(*running, "TcpReadStartField", "7");
    fillField(*running, "TcpReadCountField", "3");
    click(*running, "TcpReadButton");
    ASSERT_TRUE(running->dialogs.boxes.empty()) << running->dialogs.boxes[0].text;
    auto* tcpList = running->find<QTableWidget>("TcpRegisterList");
    ASSERT_EQ(tcpList->rowCount(), 3);

    chooseFromRowMenu(tcpList, 2, 4104);
    EXPECT_EQ(running->dialogs.clipboard, "0x0009\t9\t$0009\t9");
    EXPECT_EQ(running->dialogs.menus.back()[3].text, "Wert (hex) kopieren: $0009");

    const std::string target = path("tcp.csv").toStdString();
    running->dialogs.saveAnswers.push_back(target);
    chooseFromRowMenu(tcpList, 0, 4105);
    EXPECT_EQ(fileBytes(path("tcp.csv")),
        QByteArray("Adresse hex.;Adresse dez.;Wert hex.;Wert dez.\r\n"
                   "0x0007;7;$0007;7\r\n"
                   "0x0008;8;$0008;8\r\n"
                   "0x0009;9;$0009;9\r\n"));
    EXPECT_EQ(running->logMessages().back(), "CSV gespeichert: " + target);
    // The serial list was left as it was.
    EXPECT_EQ(rtuList->rowCount(), 2);
}

} // namespace
} // namespace kalvenor::test
