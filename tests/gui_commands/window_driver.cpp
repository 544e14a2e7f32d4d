#include "tests/gui_commands/window_driver.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace kalvenor::test {

WindowDriver::WindowDriver(RunningWindow& running)
    : m_running(running)
{
}

QWidget* WindowDriver::widget(const char* name) const
{
    QWidget* found = m_running.window->findChild<QWidget*>(name);
    if (!found)
        ADD_FAILURE() << "no widget named " << name;
    return found;
}

void WindowDriver::click(const char* button)
{
    auto* push = qobject_cast<QPushButton*>(widget(button));
    ASSERT_NE(push, nullptr) << button;
    ASSERT_TRUE(push->isVisible()) << button << " is not on the front tab";
    QTest::mouseClick(push, Qt::LeftButton);
}

void WindowDriver::showTab(int index)
{
    QTabBar* bar = m_running.find<QTabWidget>("TabPanel")->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    ASSERT_EQ(m_running.find<QTabWidget>("TabPanel")->currentIndex(), index);
}

void WindowDriver::type(const char* field, const QString& text)
{
    QWidget* target = widget(field);
    ASSERT_NE(target, nullptr);
    if (auto* combo = qobject_cast<QComboBox*>(target))
        target = combo->lineEdit();
    target->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(target, Qt::Key_Delete);
    else
        QTest::keyClicks(target, text);
}

bool WindowDriver::choose(const char* name, const QString& entry)
{
    auto* combo = qobject_cast<QComboBox*>(widget(name));
    if (!combo)
        return false;
    const int target = combo->findText(entry, Qt::MatchExactly);
    if (target < 0)
        return false;
    QTest::mouseClick(combo, Qt::LeftButton);
    QAbstractItemView* list = combo->view();
    if (!QTest::qWaitFor([list] { return list->isVisible(); }, 2000))
        return false;
    // The open list is a window of its own, so the arrow keys stay with it.
    for (int steps = 0; steps < combo->count() && list->currentIndex().row() != target; ++steps)
        QTest::keyClick(list, list->currentIndex().row() < target ? Qt::Key_Down : Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Return);
    return QTest::qWaitFor([list] { return !list->isVisible(); }, 2000)
        && combo->currentIndex() == target;
}

std::string WindowDriver::rtuStatus() const
{
    return m_running.find<QLabel>("RtuStatusField")->text().toStdString();
}

std::string WindowDriver::tcpStatus() const
{
    return m_running.find<QLabel>("TcpStatusField")->text().toStdString();
}

TableRows WindowDriver::table(const char* name) const
{
    TableRows rows;
    auto* list = qobject_cast<QTableWidget*>(widget(name));
    if (!list)
        return rows;
    for (int row = 0; row < list->rowCount(); ++row) {
        Strings cells;
        for (int column = 0; column < list->columnCount(); ++column) {
            const QTableWidgetItem* item = list->item(row, column);
            cells.push_back(item ? item->text().toStdString() : std::string());
        }
        rows.push_back(cells);
    }
    return rows;
}

void WindowDriver::mark()
{
    m_logMark = m_running.logMessages().size();
    m_boxMark = m_running.dialogs.boxes.size();
}

Strings WindowDriver::logSinceMark() const
{
    const Strings all = m_running.logMessages();
    if (all.size() < m_logMark)
        return all; // cleared since
    return Strings(all.begin() + static_cast<std::ptrdiff_t>(m_logMark), all.end());
}

std::vector<FakeDialogs::Box> WindowDriver::boxesSinceMark() const
{
    const auto& all = m_running.dialogs.boxes;
    return std::vector<FakeDialogs::Box>(
        all.begin() + static_cast<std::ptrdiff_t>(std::min(m_boxMark, all.size())), all.end());
}

} // namespace kalvenor::test
