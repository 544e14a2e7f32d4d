#include "link/clock.h"
#include "terminal/terminal.h"
#include "tests/support/fake_view.h"
#include "tests/support/pty_pair.h"

#include <gtest/gtest.h>

#include <vector>

namespace kalvenor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::FakeView;
using test::PtyPair;

constexpr WidgetId lineEndOptions[] = {WidgetId::LineEndNoneOption, WidgetId::LineEndLfOption,
    WidgetId::LineEndCrOption, WidgetId::LineEndCrLfOption};

// The terminal on the "Seriell" tab with the serial link open on one end of a pty pair; the
// test plays the device on the other end.
class TerminalOnPty : public ::testing::Test
{
protected:
    PtyPair device;
    FakeView view;
    SerialSettings serial;
    TerminalState terminal;

    void SetUp() override
    {
        serial.portName = device.devicePath();
        ASSERT_TRUE(serialOpen(serial));
        view.indexes[WidgetId::TabPanel] = SerialTerminalTab;
        view.focus = WidgetId::TerminalInputField;
    }
    void TearDown() override { serialClose(serial); }

    // Clicks an option of the exclusive group, as the window does.
    void choose(WidgetId option)
    {
        for (WidgetId id : lineEndOptions)
            view.checked[id] = id == option;
        selectLineEnd(terminal, view, option);
    }
    void send(const std::string& input)
    {
        view.texts[WidgetId::TerminalInputField] = input;
        terminalSend(terminal, serial, view);
    }
    Bytes wire(std::size_t n) { return device.receive(n, 1000); }
    // Nothing further arrives within a generous pause.
    Bytes extraOnWire() { return device.receiveFor(150); }

    // Lets bytes sent by the device reach the port before the next poll.
    void awaitInput()
    {
        ASSERT_TRUE(serial.handle->waitReadable(1000));
        for (int i = 0; i < 100 && serial.handle->waitingCount() == 0; ++i)
            sleepMs(1);
    }
};

struct SendCase
{
    const char* name;
    WidgetId option;
    std::string input;
    Bytes onWire; // empty: nothing at all may be written
    std::vector<std::string> shown;
    std::vector<std::string> history;
};

void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }

class TerminalSend : public TerminalOnPty, public ::testing::WithParamInterface<SendCase>
{
};

TEST_P(TerminalSend, WritesTheTypedTextWithItsLineEndAndEchoesTheTrimmedText)
{
    const SendCase& c = GetParam();
    choose(c.option);
    send(c.input);

    EXPECT_EQ(wire(c.onWire.size()), c.onWire);
    EXPECT_EQ(extraOnWire(), Bytes {});
    EXPECT_EQ(view.terminal, c.shown);
    EXPECT_EQ(
        std::vector<std::string>(terminal.history.begin(), terminal.history.end()), c.history);
    const bool sent = !c.shown.empty();
    EXPECT_EQ(view.text(WidgetId::TerminalInputField), sent ? "" : c.input);
    EXPECT_TRUE(view.fakeDialogs.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, TerminalSend,
    ::testing::Values(
        SendCase {"Cr", WidgetId::LineEndCrOption, "AT", {0x41, 0x54, 0x0D}, {">> AT"}, {"AT"}},
        SendCase {"CrLfKeepsBlanksOnTheWire", WidgetId::LineEndCrLfOption, "  AT  ",
            {0x20, 0x20, 0x41, 0x54, 0x20, 0x20, 0x0D, 0x0A}, {">> AT"}, {"AT"}},
        SendCase {"Lf", WidgetId::LineEndLfOption, "x", {0x78, 0x0A}, {">> x"}, {"x"}},
        SendCase {"None", WidgetId::LineEndNoneOption, "AT", {0x41, 0x54}, {">> AT"}, {"AT"}},
        SendCase {
            "BlanksOnly", WidgetId::LineEndCrOption, "   ", {0x20, 0x20, 0x20, 0x0D}, {">> "}, {}},
        // At the very start the empty text counts as the last text sent with CR.
        SendCase {"EmptyWithCrLfAtStartCompletesWithLf", WidgetId::LineEndCrLfOption, "", {0x0A},
            {">> "}, {}},
        SendCase {"EmptyWithNoneDoesNothing", WidgetId::LineEndNoneOption, "", {}, {}, {}},
        SendCase {"GermanTextInTheCodePage", WidgetId::LineEndCrOption, "Grüße €",
            {0x47, 0x72, 0xFC, 0xDF, 0x65, 0x20, 0x80, 0x0D}, {">> Grüße €"}, {"Grüße €"}},
        SendCase {"UnrepresentableBecomesQuestionMark", WidgetId::LineEndCrOption, "Ā→1",
            {0x3F, 0x3F, 0x31, 0x0D}, {">> Ā→1"}, {"Ā→1"}},
        // Bytes a cooked line discipline would eat or act on go out unchanged.
        SendCase {"ControlCharactersPassRaw", WidgetId::LineEndNoneOption, "\x03\x11\x13\r",
            {0x03, 0x11, 0x13, 0x0D}, {">> \x03\x11\x13\r"}, {"\x03\x11\x13\r"}}),
    [](const ::testing::TestParamInfo<SendCase>& info) { return info.param.name; });

TEST_F(TerminalOnPty, SwitchingFromCrToCrLfOnlyCompletesTheLine)
{
    choose(WidgetId::LineEndCrOption);
    send("AT");
    EXPECT_EQ(wire(3), (Bytes {0x41, 0x54, 0x0D}));

    choose(WidgetId::LineEndCrLfOption);
    EXPECT_EQ(view.log.back(), "EOL: CR+LF");
    historyBack(terminal, view);
    ASSERT_EQ(view.text(WidgetId::TerminalInputField), "AT");
    terminalSend(terminal, serial, view);
    EXPECT_EQ(wire(1), (Bytes {0x0A}));
    EXPECT_EQ(extraOnWire(), Bytes {});
    EXPECT_EQ(view.terminal, (std::vector<std::string> {">> AT", ">> AT"}));
    EXPECT_EQ(terminal.history.size(), 1u);
    EXPECT_EQ(view.text(WidgetId::TerminalInputField), "");

    // The line is complete now; the next send carries text and line end again.
    send("AT");
    EXPECT_EQ(wire(4), (Bytes {0x41, 0x54, 0x0D, 0x0A}));
    EXPECT_EQ(extraOnWire(), Bytes {});
}

TEST_F(TerminalOnPty, CompletionNeedsTheSameTextAfterACrSend)
{
    struct Step
    {
        WidgetId option;
        const char* input;
        Bytes onWire;
    };
    // A different text, or a previous send with LF, is sent in full.
    const Step steps[] = {
        {WidgetId::LineEndCrOption, "AT", {0x41, 0x54, 0x0D}},
        {WidgetId::LineEndCrLfOption, "ATZ", {0x41, 0x54, 0x5A, 0x0D, 0x0A}},
        {WidgetId::LineEndLfOption, "B", {0x42, 0x0A}},
        {WidgetId::LineEndCrLfOption, "B", {0x42, 0x0D, 0x0A}},
    };
    for (const Step& s : steps) {
        choose(s.option);
        send(s.input);
        EXPECT_EQ(wire(s.onWire.size()), s.onWire) << s.input;
    }
    EXPECT_EQ(extraOnWire(), Bytes {});
}

TEST_F(TerminalOnPty, WithoutAnOpenPortNothingIsSentAndTheInputStays)
{
    serialClose(serial);
    send("AT");
    EXPECT_EQ(view.fakeDialogs.boxes,
        (std::vector<test::FakeDialogs::Box> {
            {"Hinweis", "Bitte zuerst den seriellen Port öffnen."}}));
    EXPECT_EQ(view.text(WidgetId::TerminalInputField), "AT");
    EXPECT_TRUE(view.terminal.empty());
    EXPECT_TRUE(terminal.history.empty());
    EXPECT_EQ(extraOnWire(), Bytes {});

    // A poll without a port is a quiet no-op.
    terminalPoll(terminal, serial, view);
    EXPECT_TRUE(view.terminal.empty());
}

struct ReceiveCase
{
    const char* name;
    Bytes arriving;
    std::vector<std::string> shown;
};

void PrintTo(const ReceiveCase& c, std::ostream* os) { *os << c.name; }

class TerminalReceive : public TerminalOnPty, public ::testing::WithParamInterface<ReceiveCase>
{
};

TEST_P(TerminalReceive, ShowsWhatArrivedUpToTheFirstZeroByte)
{
    const ReceiveCase& c = GetParam();
    device.send(c.arriving);
    awaitInput();
    terminalPoll(terminal, serial, view);
    EXPECT_EQ(view.terminal, c.shown);
    // The whole chunk was consumed, the part after a zero byte included.
    EXPECT_EQ(serial.handle->waitingCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, TerminalReceive,
    ::testing::Values(ReceiveCase {"LineWithCrLf", {0x4F, 0x4B, 0x0D, 0x0A}, {"<< OK\r\n"}},
        ReceiveCase {"ZeroByteEndsTheShownText", {0x41, 0x00, 0x42}, {"<< A"}},
        ReceiveCase {"LeadingZeroShowsNothing", {0x00, 0x41}, {}},
        ReceiveCase {"CodePageText", {0x47, 0x72, 0xFC, 0xDF, 0x65, 0x20, 0x80}, {"<< Grüße €"}},
        ReceiveCase {"UndefinedByteAsControl", {0x31, 0x81, 0x32}, {"<< 1\u00812"}}),
    [](const ::testing::TestParamInfo<ReceiveCase>& info) { return info.param.name; });

TEST_F(TerminalOnPty, BytesWaitWhileAnotherTabIsShown)
{
    view.indexes[WidgetId::TabPanel] = RtuReadTab;
    device.send({0x48, 0x69});
    awaitInput();
    terminalPoll(terminal, serial, view);
    EXPECT_TRUE(view.terminal.empty());
    EXPECT_EQ(serial.handle->waitingCount(), 2u);

    view.indexes[WidgetId::TabPanel] = SerialTerminalTab;
    terminalPoll(terminal, serial, view);
    EXPECT_EQ(view.terminal, std::vector<std::string> {"<< Hi"});
}

TEST_F(TerminalOnPty, EachPollShowsOneChunkAndAnIdlePollShowsNothing)
{
    terminalPoll(terminal, serial, view);
    EXPECT_TRUE(view.terminal.empty());

    device.send({0x61});
    awaitInput();
    terminalPoll(terminal, serial, view);
    device.send({0x62, 0x63});
    awaitInput();
    terminalPoll(terminal, serial, view);
    terminalPoll(terminal, serial, view);
    EXPECT_EQ(view.terminal, (std::vector<std::string> {"<< a", "<< bc"}));
}

TEST_F(TerminalOnPty, EchoAndReplyInterleaveInOrder)
{
    send("AT");
    EXPECT_EQ(wire(3), (Bytes {0x41, 0x54, 0x0D}));
    device.send({0x4F, 0x4B, 0x0D, 0x0A});
    awaitInput();
    terminalPoll(terminal, serial, view);
    EXPECT_EQ(view.terminal, (std::vector<std::string> {">> AT", "<< OK\r\n"}));
}

} // namespace
} // namespace kalvenor
