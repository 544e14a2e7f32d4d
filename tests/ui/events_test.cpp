#include "tests/support/pty_pair.h"
#include "tests/ui/window_fixture.h"
#include "ui/info_window.h"
#include "ui/log_view.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace kalvenor::test {
namespace {

bool raised(const RecordingDispatch& d, WidgetId id)
{
    return std::any_of(d.widgetEvents.begin(), d.widgetEvents.end(),
        [id](const auto& e) { return e.first == id; });
}

TEST(StartUp, WithoutPortsTheComboIsEmptyAndBothLinksShowDisconnected)
{
    RunningWindow running;
    EXPECT_EQ(running.logMessages(),
        (std::vector<std::string> {"Keine verfügbaren Ports gefunden.", "Bereit."}));
    EXPECT_EQ(running.window->text(WidgetId::RtuPortCombo), "");
    EXPECT_EQ(running.app->modbus.serial.portName, "COM3");
    EXPECT_EQ(running.find<QLabel>("RtuStatusField")->text(), "RTU: getrennt");
    EXPECT_EQ(running.find<QLabel>("TcpStatusField")->text(), "TCP: getrennt");
    EXPECT_EQ(running.find<QLabel>("RtuStatusField")->width(), 380);
    EXPECT_TRUE(running.app->statusBarPresent);
    EXPECT_TRUE(running.window->pollTimer()->isActive());
    EXPECT_EQ(running.window->pollTimer()->interval(), 50);
}

TEST(StartUp, FoundPortIsSelectedWithoutRaisingASettingsChange)
{
    PtyPair pty;
    RunningWindow running({pty.devicePath()});
    EXPECT_EQ(
        running.logMessages(), (std::vector<std::string> {"Gefundene COM Ports: 1", "Bereit."}));
    EXPECT_EQ(running.window->text(WidgetId::RtuPortCombo), pty.devicePath());
    EXPECT_EQ(running.window->currentIndex(WidgetId::RtuPortCombo), 0);
    EXPECT_EQ(running.app->modbus.serial.portName, pty.devicePath());
    EXPECT_TRUE(running.dispatch->widgetEvents.empty());
}

TEST(Events, StatusBarFollowsTheSerialConnection)
{
    PtyPair pty;
    RunningWindow running({pty.devicePath()});
    running.showActive();
    QTest::mouseClick(running.find<QPushButton>("ConnectButton"), Qt::LeftButton);
    EXPECT_EQ(running.find<QLabel>("RtuStatusField")->text().toStdString(),
        "RTU: verbunden (" + pty.devicePath() + " @ 9600 8N1)");
    QTest::mouseClick(running.find<QPushButton>("DisconnectButton"), Qt::LeftButton);
    EXPECT_EQ(running.find<QLabel>("RtuStatusField")->text(), "RTU: getrennt");
}

TEST(Events, TypingAPortNameAppliesItButSettingItFromTheProgramDoesNot)
{
    RunningWindow running;
    running.showActive();
    running.window->setText(WidgetId::RtuPortCombo, "/dev/none0");
    EXPECT_EQ(running.app->modbus.serial.portName, "COM3");
    EXPECT_FALSE(raised(*running.dispatch, WidgetId::RtuPortCombo));

    auto* combo = running.find<QComboBox>("RtuPortCombo");
    combo->setFocus();
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), "/dev/ttyX7");
    EXPECT_EQ(running.app->modbus.serial.portName, "/dev/ttyX7");
}

TEST(Events, PortComboLosingTheFocusAppliesChanges)
{
    RunningWindow running;
    running.showActive();
    auto* combo = running.find<QComboBox>("RtuPortCombo");
    combo->setFocus();
    QCoreApplication::processEvents();
    running.dispatch->widgetEvents.clear();
    running.find<QLineEdit>("TcpHostField")->setFocus();
    QCoreApplication::processEvents();
    const std::vector<std::pair<WidgetId, UiEvent>> expected
        = {{WidgetId::RtuPortCombo, UiEvent::FocusLost}};
    EXPECT_EQ(running.dispatch->widgetEvents, expected);
}

TEST(Events, TabChangesLogTheTransportOnlyWhenItChanges)
{
    RunningWindow running;
    running.showActive();
    QTabBar* bar = running.find<QTabWidget>("TabPanel")->tabBar();
    struct Step
    {
        int tab;
        std::vector<std::string> logged;
    };
    const Step steps[] = {
        {RtuWriteTab, {}},
        {SerialTerminalTab, {}},
        {TcpReadTab, {"Transport: TCP aktiv."}},
        {TcpWriteTab, {}},
        {TcpReadTab, {}},
        {RtuReadTab, {"Transport: Seriell/RTU aktiv."}},
        {TcpWriteTab, {"Transport: TCP aktiv."}},
        {SerialTerminalTab, {"Transport: Seriell/RTU aktiv."}},
    };
    for (const Step& step : steps) {
        const std::size_t before = running.logMessages().size();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(step.tab).center());
        ASSERT_EQ(running.window->currentIndex(WidgetId::TabPanel), step.tab);
        const auto all = running.logMessages();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()),
            step.logged)
            << "tab " << step.tab;
    }
    EXPECT_EQ(running.app->activeTransport, 0);
}

TEST(Events, ShownReadTabFitsItsListToThePanel)
{
    RunningWindow running;
    running.showActive();
    running.window->resize(1200, 820);
    QCoreApplication::processEvents();
    QTabBar* bar = running.find<QTabWidget>("TabPanel")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(TcpReadTab).center());
    const QWidget* panel = running.window->widget(WidgetId::TabPanel);
    const QWidget* list = running.window->widget(WidgetId::TcpRegisterList);
    const QPoint panelBottom = panel->mapTo(running.window.get(), QPoint(0, panel->height()));
    const QPoint listBottom = list->mapTo(running.window.get(), QPoint(0, list->height()));
    EXPECT_EQ(panelBottom.y() - listBottom.y(), 15);
}

TEST(Events, RegisterListMenuActsOnTheClickedRowOfItsOwnList)
{
    RunningWindow running;
    running.showActive();
    MainWindow& window = *running.window;
    auto rightClick = [&](const char* name, QPoint at) {
        auto* list = running.find<QTableWidget>(name);
        // A context-menu request comes through the window, not from a click on the list itself.
        QTest::mouseClick(
            window.windowHandle(), Qt::RightButton, {}, list->viewport()->mapTo(&window, at));
    };

    // An empty list has no selected row: no menu.
    running.dialogs.menuAnswers = {static_cast<int>(MenuCommand::CopyRow)};
    rightClick("RtuRegisterList", QPoint(40, 10));
    EXPECT_TRUE(running.dialogs.menus.empty());

    window.setRegisterRows(WidgetId::RtuRegisterList,
        {{"0x0064", "100", "$00FF", "255"}, {"0x0065", "101", "$0001", "1"}});
    window.setRegisterRows(WidgetId::TcpRegisterList, {{"0x0000", "0", "$1234", "4660"}});
    auto* rtu = running.find<QTableWidget>("RtuRegisterList");
    rightClick("RtuRegisterList", rtu->visualItemRect(rtu->item(1, 0)).center());
    ASSERT_EQ(running.dialogs.menus.size(), 1u);
    EXPECT_EQ(running.dialogs.menus[0][0].text, "Adresse (hex) kopieren: 0x0065");
    EXPECT_EQ(running.dialogs.clipboard, "0x0065\t101\t$0001\t1");

    QTabBar* bar = running.find<QTabWidget>("TabPanel")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(TcpReadTab).center());
    auto* tcp = running.find<QTableWidget>("TcpRegisterList");
    running.dialogs.menuAnswers = {static_cast<int>(MenuCommand::CopyValueDec)};
    rightClick("TcpRegisterList", tcp->visualItemRect(tcp->item(0, 2)).center());
    EXPECT_EQ(running.dialogs.clipboard, "4660");
    EXPECT_EQ(window.selectedRow(WidgetId::TcpRegisterList), 0);
}

TEST(Events, PicturesAndMenuReachTheirActions)
{
    RunningWindow running;
    running.showActive();
    QTest::mouseClick(running.window->widget(WidgetId::WebLink), Qt::LeftButton);
    EXPECT_EQ(
        running.dialogs.openedPages, std::vector<std::string> {"https://kalvenor.example.org/"});
    running.find<QAction>("InfoMenuItem")->trigger();
    EXPECT_NE(running.window->infoWindow(), nullptr);
    EXPECT_EQ(running.dispatch->commands, std::vector<int> {2000});
}

TEST(Events, TerminalEntriesGoOnLinesOfTheirOwnWithTheCaretAtTheEnd)
{
    RunningWindow running;
    MainWindow& window = *running.window;
    window.terminalAppend(">> AT");
    window.terminalAppend("<< OK\r\n");
    window.terminalAppend("<< a\rb");
    window.terminalAppend("");
    auto* view = running.find<QPlainTextEdit>("TerminalView");
    EXPECT_EQ(view->toPlainText(), ">> AT\n<< OK\n\n<< a\nb\n");
    EXPECT_EQ(view->textCursor().position(), view->document()->characterCount() - 1);
    EXPECT_FALSE(view->textCursor().hasSelection());
    EXPECT_FALSE(view->isReadOnly());
}

// Taking the window down moves the focus away from the port combo; that is no operator's
// settings change, and the dispatch (which main destroys first) must not hear of it.
TEST(Events, DestroyingTheWindowRaisesNoEvents)
{
    RunningWindow running;
    running.showActive();
    running.find<QComboBox>("RtuPortCombo")->setFocus();
    QCoreApplication::processEvents();
    running.dispatch->widgetEvents.clear();
    running.window.reset();
    EXPECT_TRUE(running.dispatch->widgetEvents.empty());
}

TEST(Events, ClosingTheMainWindowSaysSoAndTakesTheInfoWindowAlong)
{
    RunningWindow running;
    running.showActive();
    QSignalSpy closed(running.window.get(), &MainWindow::closed);
    running.window->showInfoWindow();
    QPointer<InfoWindow> info = running.window->infoWindow();
    ASSERT_TRUE(info);
    running.window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(info.isNull());
}

} // namespace
} // namespace kalvenor::test
