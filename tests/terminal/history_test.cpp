#include "terminal/terminal.h"
#include "tests/support/fake_view.h"

#include <gtest/gtest.h>

#include <vector>

namespace kalvenor {
namespace {

using test::FakeView;

class History : public ::testing::Test
{
protected:
    TerminalState terminal;
    FakeView view;

    void record(std::initializer_list<const char*> lines)
    {
        for (const char* line : lines)
            historyAdd(terminal, line);
    }
    std::vector<std::string> entries() const
    {
        return {terminal.history.begin(), terminal.history.end()};
    }
    std::string input() const { return view.text(WidgetId::TerminalInputField); }
};

TEST_F(History, RecordsTrimmedLinesAndSkipsRepeatsOfTheNewest)
{
    struct Case
    {
        std::vector<const char*> added;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{"AT", "AT"}, {"AT"}}, {{"AT", "X", "AT"}, {"AT", "X", "AT"}}, {{"  AT  ", "AT"}, {"AT"}},
        {{"", "   ", "AT"}, {"AT"}},
        {{"a b", "a  b"}, {"a b", "a  b"}}, // inner blanks are part of the line
    };
    for (const Case& c : cases) {
        TerminalState fresh;
        for (const char* line : c.added)
            historyAdd(fresh, line);
        EXPECT_EQ(std::vector<std::string>(fresh.history.begin(), fresh.history.end()), c.expected)
            << "first added: '" << c.added.front() << "'";
    }
}

TEST_F(History, KeepsTheNewest200)
{
    for (int i = 1; i <= 201; ++i)
        historyAdd(terminal, "line " + std::to_string(i));
    ASSERT_EQ(terminal.history.size(), 200u);
    EXPECT_EQ(terminal.history.front(), "line 2");
    EXPECT_EQ(terminal.history.back(), "line 201");
}

TEST_F(History, UpWithoutHistoryLeavesInputAndFocusAlone)
{
    view.texts[WidgetId::TerminalInputField] = "half";
    view.focus = WidgetId::TerminalSendButton;
    historyBack(terminal, view);
    historyForward(terminal, view);
    EXPECT_EQ(input(), "half");
    EXPECT_EQ(view.focus, WidgetId::TerminalSendButton);
    EXPECT_EQ(terminal.historyIndex, -1);
}

TEST_F(History, BrowsingBackAndForthRestoresTheHalfTypedInput)
{
    record({"first", "second", "third"});
    view.texts[WidgetId::TerminalInputField] = "half";
    view.focus = WidgetId::TerminalSendButton;

    const std::pair<void (*)(TerminalState&, OperatorView&), const char*> steps[] = {
        {historyBack, "third"},
        {historyBack, "second"},
        {historyForward, "third"},
        {historyForward, "half"},
    };
    for (const auto& [step, expected] : steps) {
        step(terminal, view);
        EXPECT_EQ(input(), expected);
        EXPECT_EQ(view.focus, WidgetId::TerminalInputField);
    }
    EXPECT_EQ(terminal.historyIndex, -1);

    // Down when not browsing does nothing, even with an edited input.
    view.texts[WidgetId::TerminalInputField] = "edited";
    historyForward(terminal, view);
    EXPECT_EQ(input(), "edited");
}

TEST_F(History, UpStopsAtTheOldestEntry)
{
    record({"first", "second"});
    for (int i = 0; i < 5; ++i)
        historyBack(terminal, view);
    EXPECT_EQ(input(), "first");
    EXPECT_EQ(terminal.historyIndex, 0);
}

TEST_F(History, RecordingEndsBrowsing)
{
    record({"first", "second"});
    view.texts[WidgetId::TerminalInputField] = "half";
    historyBack(terminal, view);
    historyBack(terminal, view);
    // A repeat of the newest line is not stored, but it still ends browsing.
    historyAdd(terminal, "second");
    EXPECT_EQ(terminal.historyIndex, -1);
    EXPECT_EQ(terminal.savedInput, "");

    view.texts[WidgetId::TerminalInputField] = "new";
    historyBack(terminal, view);
    EXPECT_EQ(input(), "second"); // starts again from the newest
    historyForward(terminal, view);
    EXPECT_EQ(input(), "new");
}

struct LineEndChoice
{
    WidgetId option;
    const char* lineEnd;
    const char* logLine;
};

TEST(LineEndOptions, SetTheLineEndLogItAndFocusTheInput)
{
    const LineEndChoice choices[] = {
        {WidgetId::LineEndCrLfOption, "\r\n", "EOL: CR+LF"},
        {WidgetId::LineEndCrOption, "\r", "EOL: CR"},
        {WidgetId::LineEndLfOption, "\n", "EOL: LF"},
        {WidgetId::LineEndNoneOption, "", "EOL: Keins"},
    };
    for (const LineEndChoice& c : choices) {
        TerminalState terminal;
        terminal.lineEnd = "x";
        FakeView view;
        selectLineEnd(terminal, view, c.option);
        EXPECT_EQ(terminal.lineEnd, c.lineEnd);
        EXPECT_EQ(view.log, std::vector<std::string> {c.logLine});
        EXPECT_EQ(view.focus, WidgetId::TerminalInputField);
    }
}

TEST(LineEndOptions, ChoosingTheSameOptionAgainLogsAgain)
{
    TerminalState terminal;
    FakeView view;
    selectLineEnd(terminal, view, WidgetId::LineEndCrOption);
    selectLineEnd(terminal, view, WidgetId::LineEndCrOption);
    EXPECT_EQ(view.log, (std::vector<std::string> {"EOL: CR", "EOL: CR"}));
}

} // namespace
} // namespace kalvenor
