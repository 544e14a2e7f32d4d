#include "tests/gui_tools/operator.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace kalvenor::test {

void click(RunningWindow& running, const char* name)
{
    auto* target = running.find<QWidget>(name);
    ASSERT_NE(target, nullptr) << name;
    // An option button reacts only on its circle and caption, not on the blank rest of its
    // rectangle; its circle sits at the left edge.
    const QPoint point = qobject_cast<QRadioButton*>(target)
        ? QPoint(target->height() / 2, target->height() / 2)
        : target->rect().center();
    QTest::mouseClick(target, Qt::LeftButton, {}, point);
}

void showTab(RunningWindow& running, int tab)
{
    QTabBar* bar = running.find<QTabWidget>("TabPanel")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    ASSERT_EQ(running.find<QTabWidget>("TabPanel")->currentIndex(), tab);
}

void press(RunningWindow& running, Qt::Key key)
{
    QTest::keyClick(running.window->windowHandle(), key);
}

void type(RunningWindow& running, const QString& text)
{
    for (QChar c : text)
        QTest::keyClick(running.window->windowHandle(), c.toLatin1());
}

void fillField(RunningWindow& running, const char* name, const QString& text)
{
    auto* field = running.find<QLineEdit>(name);
    ASSERT_NE(field, nullptr) << name;
    QTest::mouseClick(field, Qt::LeftButton);
    ASSERT_TRUE(field->hasFocus()) << name;
    field->selectAll();
    QTest::keyClick(running.window->windowHandle(), Qt::Key_Delete);
    type(running, text);
    ASSERT_EQ(field->text(), text) << name;
}

void clickRow(QTableWidget* list, int row)
{
    const QRect cell = list->visualItemRect(list->item(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
}

void rightClickAt(MainWindow& window, QTableWidget* list, QPoint point)
{
    QTest::mouseClick(
        window.windowHandle(), Qt::RightButton, {}, list->viewport()->mapTo(&window, point));
}

void rightClickRow(MainWindow& window, QTableWidget* list, int row)
{
    rightClickAt(window, list, list->visualItemRect(list->item(row, 0)).center());
}

std::string terminalText(const RunningWindow& running)
{
    return running.find<QPlainTextEdit>("TerminalView")->toPlainText().toStdString();
}

} // namespace kalvenor::test
