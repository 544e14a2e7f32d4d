#include "tests/ui/window_fixture.h"
#include "ui/log_view.h"

#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTime>

#include <gtest/gtest.h>

namespace kalvenor::test {
namespace {

TEST(Log, TimeStampFormat)
{
    struct Case
    {
        int h, m, s;
        std::string text, expected;
    };
    const Case cases[] = {
        {9, 5, 7, "Bereit.", "[09:05:07] Bereit."},
        {14, 30, 0, "x", "[14:30:00] x"},
        {0, 0, 0, "", "[00:00:00] "},
        {23, 59, 59, "  as is  ", "[23:59:59]   as is  "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(logLine(c.h, c.m, c.s, c.text), c.expected);
}

TEST(Log, AppendStampsTheLocalTimeAndKeepsTheTextUnchanged)
{
    RunningWindow running;
    const QTime before = QTime::currentTime();
    running.window->appendLog("  Text mit Blanks \t");
    running.window->appendLog("");
    const QTime after = QTime::currentTime();
    const LogView* log = running.window->logView();
    const QString line = log->line(log->count() - 2);
    const QRegularExpression stamp(R"(^\[(\d\d):(\d\d):(\d\d)\] )");
    const auto match = stamp.match(line);
    ASSERT_TRUE(match.hasMatch()) << line.toStdString();
    const QTime stamped(
        match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    // Compared to the second; a test running across midnight would see the clock wrap.
    if (before <= after) {
        EXPECT_GE(stamped, QTime(before.hour(), before.minute(), before.second()));
        EXPECT_LE(stamped, after);
    }
    EXPECT_EQ(line.mid(11), "  Text mit Blanks \t");
    EXPECT_EQ(log->line(log->count() - 1).size(), 11);
}

TEST(Log, DumpLines)
{
    RunningWindow running;
    const std::uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
    const std::uint8_t edge[] = {0x0A, 0xFF, 0x00};
    running.window->logDump("TX", request, sizeof request);
    running.window->logDump("RX", request, 0);
    running.window->logDump("RX-TCP", edge, sizeof edge);
    running.window->logDump("TX-TCP", request, 2); // only the count given is shown
    const auto messages = running.logMessages();
    ASSERT_GE(messages.size(), 4u);
    const std::vector<std::string> last(messages.end() - 4, messages.end());
    EXPECT_EQ(last,
        (std::vector<std::string> {"TX (8 B): 01 03 00 00 00 02 C4 0B",
            "RX (0 B): ", "RX-TCP (3 B): 0A FF 00", "TX-TCP (2 B): 01 03"}));
}

TEST(Log, NewestLineIsSelectedAndInSightAndClearingEmptiesTheList)
{
    RunningWindow running;
    running.showActive();
    LogView* log = running.window->logView();
    for (int i = 0; i < 500; ++i) {
        running.window->appendLog("Zeile " + std::to_string(i));
        if (i % 97 == 0)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(log->currentRow(), log->count() - 1);
    EXPECT_TRUE(log->isRowVisible(log->count() - 1));
    EXPECT_FALSE(log->isRowVisible(0));

    // The operator may scroll away and select an old line; the next line takes both back.
    log->setCurrentRow(3);
    QTest::qWait(40);
    log->verticalScrollBar()->setValue(0);
    EXPECT_EQ(log->firstVisibleRow(), 0);
    running.window->appendLog("neu");
    EXPECT_EQ(log->currentRow(), log->count() - 1);
    EXPECT_TRUE(log->isRowVisible(log->count() - 1));
    // The scroll bar follows within a frame.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return log->verticalScrollBar()->value() == log->firstVisibleRow(); }, 1000));
    EXPECT_GT(log->firstVisibleRow(), 400);

    QTest::mouseClick(running.find<QPushButton>("ClearLogButton"), Qt::LeftButton);
    EXPECT_EQ(log->count(), 0);
    EXPECT_EQ(log->currentRow(), -1);
    EXPECT_TRUE(running.logMessages().empty()); // clearing writes nothing about itself
    running.window->appendLog("erste");
    EXPECT_EQ(running.logMessages(), std::vector<std::string> {"erste"});
    EXPECT_EQ(log->currentRow(), 0);
}

TEST(Log, LongLineCanBeScrolledToSideways)
{
    RunningWindow running;
    running.showActive();
    LogView* log = running.window->logView();
    EXPECT_EQ(log->horizontalScrollBar()->maximum(), 0);
    running.window->appendLog(std::string(300, 'W'));
    // The scroll bars follow within a frame.
    EXPECT_TRUE(QTest::qWaitFor([&] { return log->horizontalScrollBar()->maximum() > 0; }, 1000));
    EXPECT_GE(log->horizontalScrollBar()->maximum() + log->viewport()->width(), log->widestLine());
    EXPECT_GE(log->widestLine(), log->fontMetrics().horizontalAdvance(log->line(log->count() - 1)));
    // Text beyond Latin-1 (a typed port name, say) is measured as well.
    const std::string greek = "Port \u03A9\u03A9\u03A9\u03A9 " + std::string(400, 'M');
    running.window->appendLog(greek);
    EXPECT_GE(log->widestLine(), log->fontMetrics().horizontalAdvance(log->line(log->count() - 1)));
    QTest::mouseClick(running.find<QPushButton>("ClearLogButton"), Qt::LeftButton);
    EXPECT_EQ(log->horizontalScrollBar()->maximum(), 0);
}

TEST(Log, ClickSelectsALine)
{
    RunningWindow running;
    running.showActive();
    LogView* log = running.window->logView();
    // Start-up wrote two lines: the scan's and "Bereit.".
    ASSERT_EQ(log->count(), 2);
    QTest::mouseClick(log->viewport(), Qt::LeftButton, {}, QPoint(20, log->rowHeight() / 2));
    EXPECT_EQ(log->currentRow(), 0);
}

} // namespace
} // namespace kalvenor::test
