#include "tests/gui_tools/operator.h"
#include "tests/support/pty_pair.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kalvenor::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The window started with one pty listed, connected through "Verbinden", the "Seriell" tab
// shown and the input field clicked; the test plays the device on the pty's other end.
class TerminalWindow : public ::testing::Test
{
protected:
    PtyPair device;
    RunningWindow running {std::vector<std::string> {device.devicePath()}};
    QLineEdit* input = nullptr;

    void SetUp() override
    {
        running.showActive();
        click(running, "ConnectButton");
        ASSERT_NE(running.app->modbus.serial.handle, nullptr);
        showTab(running, SerialTerminalTab);
        input = running.find<QLineEdit>("TerminalInputField");
        QTest::mouseClick(input, Qt::LeftButton);
        ASSERT_TRUE(input->hasFocus());
    }

    // Exactly these bytes reach the device, and nothing after them.
    void expectWire(const Bytes& bytes)
    {
        EXPECT_EQ(device.receive(bytes.size(), 1000), bytes);
        EXPECT_EQ(device.receiveFor(100), Bytes {});
    }

    void sendLine(const QString& text)
    {
        type(running, text);
        press(running, Qt::Key_Return);
    }
};

TEST_F(TerminalWindow, ReturnSendsTheLineWithTheChosenLineEnd)
{
    // CR is chosen from the start, without touching the options.
    sendLine("AT");
    expectWire({0x41, 0x54, 0x0D});
    EXPECT_EQ(terminalText(running), ">> AT");
    EXPECT_EQ(input->text(), "");

    struct Case
    {
        const char* option;
        const char* logLine;
        QString typed;
        Bytes wire;
        const char* echo;
    };
    // clang-format off
    const Case cases[] = {
        {"LineEndLfOption",   "EOL: LF",    "AT",     {0x41, 0x54, 0x0A},                         ">> AT"},
        {"LineEndNoneOption", "EOL: Keins", "ATZ",    {0x41, 0x54, 0x5A},                         ">> ATZ"},
        {"LineEndCrOption",   "EOL: CR",    " AT I ", {0x20, 0x41, 0x54, 0x20, 0x49, 0x20, 0x0D}, ">> AT I"},
        {"LineEndCrLfOption", "EOL: CR+LF", "  AT  ", {0x20, 0x20, 0x41, 0x54, 0x20, 0x20, 0x0D, 0x0A}, ">> AT"},
    };
    // clang-format on
    std::string shown = ">> AT";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        click(running, c.option);
        EXPECT_EQ(running.logMessages().back(), c.logLine);
        // Choosing a line end hands the focus back to the input field, so Return sends.
        ASSERT_TRUE(input->hasFocus());
        sendLine(c.typed);
        expectWire(c.wire);
        shown += std::string("\n") + c.echo;
        EXPECT_EQ(terminalText(running), shown);
        EXPECT_EQ(input->text(), "");
    }
    // The history holds the trimmed lines, a repeat of the newest only once.
    EXPECT_EQ(running.app->terminal.history, (std::deque<std::string> {"AT", "ATZ", "AT I", "AT"}));
}

TEST_F(TerminalWindow, CrLfAfterACrLineCompletesItWithOnlyALineFeed)
{
    sendLine("AT");
    expectWire({0x41, 0x54, 0x0D});

    click(running, "LineEndCrLfOption");
    EXPECT_EQ(running.logMessages().back(), "EOL: CR+LF");
    ASSERT_TRUE(input->hasFocus());
    press(running, Qt::Key_Up);
    EXPECT_EQ(input->text(), "AT");
    press(running, Qt::Key_Return);
    expectWire({0x0A});
    EXPECT_EQ(terminalText(running), ">> AT\n>> AT");
    EXPECT_EQ(input->text(), "");
    EXPECT_EQ(running.app->terminal.history, (std::deque<std::string> {"AT"}));

    // The line is complete now: the same text goes out whole.
    sendLine("AT");
    expectWire({0x41, 0x54, 0x0D, 0x0A});
    EXPECT_EQ(terminalText(running), ">> AT\n>> AT\n>> AT");
}

TEST_F(TerminalWindow, UpAndDownWalkTheHistoryFromAHalfTypedLine)
{
    for (const char* line : {"eins", "zwei", "drei"})
        sendLine(line);
    EXPECT_EQ(device.receive(15, 1000).size(), 15u);
    type(running, "hal");

    const std::pair<Qt::Key, const char*> walk[] = {{Qt::Key_Up, "drei"}, {Qt::Key_Up, "zwei"},
        {Qt::Key_Down, "drei"}, {Qt::Key_Down, "hal"}, {Qt::Key_Down, "hal"}, {Qt::Key_Up, "drei"},
        {Qt::Key_Up, "zwei"}, {Qt::Key_Up, "eins"}, {Qt::Key_Up, "eins"}, {Qt::Key_Down, "zwei"}};
    int step = 0;
    for (const auto& [key, expected] : walk) {
        SCOPED_TRACE(step++);
        press(running, key);
        EXPECT_EQ(input->text(), expected);
        EXPECT_TRUE(input->hasFocus());
    }
    // Browsing sends nothing and shows nothing.
    EXPECT_EQ(device.receiveFor(100), Bytes {});
    EXPECT_EQ(terminalText(running), ">> eins\n>> zwei\n>> drei");
}

TEST_F(TerminalWindow, KeysDoNothingUnlessTheInputFieldHasTheFocusOnTheTerminalTab)
{
    running.app->terminal.history = {"alt"};
    type(running, "AT");
    auto check = [&](const char* where) {
        SCOPED_TRACE(where);
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Up, Qt::Key_Down})
            press(running, key);
        EXPECT_EQ(device.receiveFor(100), Bytes {});
        EXPECT_EQ(terminalText(running), "");
        EXPECT_EQ(input->text(), "AT");
        EXPECT_TRUE(running.dialogs.boxes.empty());
        EXPECT_TRUE(running.window->isChecked(WidgetId::LineEndCrOption));
    };

    // Other widgets of the terminal tab and of the window keep the focus.
    for (const char* name : {"TerminalView", "TerminalSendButton", "LineEndCrLfOption",
             "HandshakeCombo", "BaudCombo", "TcpHostField"}) {
        running.find<QWidget>(name)->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(running.find<QWidget>(name)->hasFocus()) << name;
        check(name);
    }
    // Another tab shown: the tab change hands the focus to that page's first widget (the
    // read-type combo on "RTU Lesen"), which the arrow keys must not step either.
    for (int tab : {RtuReadTab, TcpWriteTab}) {
        showTab(running, SerialTerminalTab);
        QTest::mouseClick(input, Qt::LeftButton);
        showTab(running, tab);
        check(tab == RtuReadTab ? "RTU Lesen" : "TCP Schreiben");
    }
    EXPECT_EQ(running.window->currentIndex(WidgetId::RtuReadTypeCombo), 0);
    // The same keys act once the input field has the focus on the terminal tab again.
    showTab(running, SerialTerminalTab);
    QTest::mouseClick(input, Qt::LeftButton);
    press(running, Qt::Key_Return);
    expectWire({0x41, 0x54, 0x0D});
    EXPECT_EQ(terminalText(running), ">> AT");
}

TEST_F(TerminalWindow, ReceivedChunksAppearAtTheNextPoll)
{
    struct Case
    {
        const char* what;
        Bytes arriving;
        const char* shownAfter;
    };
    // The rows run in order on one window; each starts from the text the row before left.
    // clang-format off
    const Case cases[] = {
        {"line with CR LF", {0x4F, 0x4B, 0x0D, 0x0A}, "<< OK\n"},
        {"zero inside",     {0x41, 0x00, 0x42},       "<< OK\n\n<< A"},
        {"zero first",      {0x00, 0x41},             "<< OK\n\n<< A"},
        // Nothing of the chunk before is left waiting to be shown now.
        {"after the zero",  {0x58},                   "<< OK\n\n<< A\n<< X"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        device.send(c.arriving);
        const std::string expected = c.shownAfter;
        // A chunk that shows nothing leaves the text as it is: give it several poll periods to
        // go wrong before looking.
        if (terminalText(running) == expected)
            QTest::qWait(300);
        EXPECT_TRUE(QTest::qWaitFor([&] { return terminalText(running) == expected; }, 2000))
            << terminalText(running);
    }
}

TEST_F(TerminalWindow, BytesArrivingOnAnotherTabWaitForTheTerminalTab)
{
    showTab(running, RtuReadTab);
    device.send({0x4F, 0x4B, 0x0D, 0x0A});
    QTest::qWait(300);
    EXPECT_EQ(terminalText(running), "");
    EXPECT_EQ(running.app->modbus.serial.handle->waitingCount(), 4u);

    showTab(running, SerialTerminalTab);
    EXPECT_TRUE(QTest::qWaitFor([&] { return terminalText(running) == "<< OK\n"; }, 1000))
        << terminalText(running);
}

TEST_F(TerminalWindow, TextCrossesTheWireInTheSingleByteCodePage)
{
    // Typed through an input method; the last character has no place in the code page.
    input->setText(QString::fromUtf8("Grüße € Ω"));
    press(running, Qt::Key_Return);
    expectWire({0x47, 0x72, 0xFC, 0xDF, 0x65, 0x20, 0x80, 0x20, 0x3F, 0x0D});
    EXPECT_EQ(terminalText(running), ">> Grüße € Ω");

    device.send({0xE4, 0xF6, 0xFC, 0x80, 0x0D, 0x0A});
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return terminalText(running) == ">> Grüße € Ω\n<< äöü€\n"; }, 2000))
        << terminalText(running);
}

TEST_F(TerminalWindow, AnArrivingEntryScrollsTheViewToItsEnd)
{
    auto* view = running.find<QPlainTextEdit>("TerminalView");
    std::string lines;
    for (int i = 0; i < 60; ++i)
        lines += "Zeile " + std::to_string(i) + "\r\n";
    device.send(Bytes(lines.begin(), lines.end()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->blockCount() > 60; }, 2000));

    // The operator scrolls back and puts the caret at the top.
    view->moveCursor(QTextCursor::Start);
    view->verticalScrollBar()->setValue(0);
    ASSERT_GT(view->verticalScrollBar()->maximum(), 0);

    device.send({0x58});
    ASSERT_TRUE(QTest::qWaitFor([&] { return terminalText(running).ends_with("\n<< X"); }, 2000));
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    EXPECT_FALSE(view->textCursor().hasSelection());
    EXPECT_EQ(view->textCursor().position(), view->document()->characterCount() - 1);
}

} // namespace
} // namespace kalvenor::test
