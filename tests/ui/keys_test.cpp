#include "tests/ui/window_fixture.h"
#include "ui/info_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace kalvenor::test {
namespace {

const Qt::Key windowKeys[] = {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Up, Qt::Key_Down};

void showTab(RunningWindow& running, int tab)
{
    QTabBar* bar = running.find<QTabWidget>("TabPanel")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
}

// None of the widgets sees the keys: a spin field is not stepped, a combo box keeps its entry,
// a text view gets no new line, an option is not moved, a button is not pressed.
TEST(WindowKeys, NoWidgetOfTheMainWindowReceivesThem)
{
    RunningWindow running;
    running.showActive();
    MainWindow& w = *running.window;
    showTab(running, SerialTerminalTab);
    auto* view = running.find<QPlainTextEdit>("TerminalView");
    view->setPlainText("abc");

    const WidgetId focused[] = {WidgetId::SlaveIdSpin, WidgetId::RtuTimeoutSpin,
        WidgetId::BaudCombo, WidgetId::RtuPortCombo, WidgetId::TcpHostField, WidgetId::TerminalView,
        WidgetId::LineEndCrOption, WidgetId::TerminalSendButton, WidgetId::HandshakeCombo,
        WidgetId::LogList};
    for (WidgetId id : focused) {
        QWidget* target = w.widget(id);
        target->setFocus();
        QCoreApplication::processEvents();
        ASSERT_TRUE(target->hasFocus()) << static_cast<int>(id);
        for (Qt::Key key : windowKeys)
            QTest::keyClick(QApplication::focusWidget(), key);
    }
    EXPECT_EQ(w.spinValue(WidgetId::SlaveIdSpin), 1);
    EXPECT_EQ(w.spinValue(WidgetId::RtuTimeoutSpin), 800);
    EXPECT_EQ(w.currentIndex(WidgetId::BaudCombo), 3);
    EXPECT_EQ(w.currentIndex(WidgetId::HandshakeCombo), 0);
    EXPECT_EQ(view->toPlainText(), "abc");
    EXPECT_TRUE(w.isChecked(WidgetId::LineEndCrOption));
    // The send button was not pressed: with no port open that would have asked for one.
    EXPECT_TRUE(running.dialogs.boxes.empty());
    // Only the tab change and the port combo losing the focus were events; no key pressed a
    // button, chose an entry, stepped a value or clicked an option.
    for (const auto& [id, event] : running.dispatch->widgetEvents)
        EXPECT_TRUE(event == UiEvent::TabChanged || event == UiEvent::FocusLost)
            << static_cast<int>(id) << " raised " << static_cast<int>(event);
    // Each key press still raised its command.
    EXPECT_EQ(running.dispatch->commands.size(), std::size(focused) * std::size(windowKeys));
}

TEST(WindowKeys, KeysWithModifiersStillReachTheWidget)
{
    RunningWindow running;
    running.showActive();
    auto* spin = running.find<QSpinBox>("SlaveIdSpin");
    spin->setFocus();
    QTest::keyClick(spin, Qt::Key_PageUp);
    EXPECT_EQ(spin->value(), 11);
    EXPECT_TRUE(running.dispatch->commands.empty());
}

TEST(WindowKeys, ActOnlyForTheInputFieldOnTheTerminalTab)
{
    RunningWindow running;
    running.showActive();
    MainWindow& w = *running.window;
    running.app->terminal.history = {"eins", "zwei"};
    auto* input = running.find<QLineEdit>("TerminalInputField");

    // Input field focused, another tab shown: it cannot have the focus there, so focus the
    // field first and switch the tab with the program.
    showTab(running, SerialTerminalTab);
    input->setFocus();
    input->setText("halb");
    w.setCurrentIndex(WidgetId::TabPanel, RtuReadTab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(input->text(), "halb");

    showTab(running, SerialTerminalTab);
    running.find<QPushButton>("TerminalSendButton")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(input->text(), "halb");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(running.dialogs.boxes.empty());

    input->setFocus();
    const std::pair<Qt::Key, const char*> walk[] = {{Qt::Key_Up, "zwei"}, {Qt::Key_Up, "eins"},
        {Qt::Key_Up, "eins"}, {Qt::Key_Down, "zwei"}, {Qt::Key_Down, "halb"}};
    for (const auto& [key, expected] : walk) {
        QTest::keyClick(input, key);
        EXPECT_EQ(input->text(), expected);
    }
    // Return sends; with no port open that is the notice and the text stays.
    QTest::keyClick(input, Qt::Key_Return);
    ASSERT_EQ(running.dialogs.boxes.size(), 1u);
    EXPECT_EQ(running.dialogs.boxes[0].title, "Hinweis");
    EXPECT_EQ(input->text(), "halb");
}

TEST(WindowKeys, KeysTypedInTheInfoWindowAreNotTheMainWindows)
{
    RunningWindow running;
    running.showActive();
    showTab(running, SerialTerminalTab);
    running.find<QLineEdit>("TerminalInputField")->setFocus();
    running.window->showInfoWindow();
    InfoWindow* info = running.window->infoWindow();
    ASSERT_NE(info, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(info));
    for (Qt::Key key : windowKeys)
        QTest::keyClick(info, key);
    EXPECT_TRUE(running.dispatch->commands.empty());
    EXPECT_TRUE(running.dialogs.boxes.empty());
}

} // namespace
} // namespace kalvenor::test
