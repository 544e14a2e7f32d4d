#pragma once

#include "commands/operator_view.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace kalvenor::test {

// Answers the blocking interactions from scripted queues and records what was asked.
class FakeDialogs : public OperatorDialogs
{
public:
    struct Box
    {
        std::string title;
        std::string text;
        bool operator==(const Box&) const = default;
    };

    std::vector<Box> boxes;
    std::vector<std::vector<MenuEntry>> menus; // every menu shown
    std::deque<int> menuAnswers; // chosen commands; 0 (closed) when empty
    std::deque<std::string> saveAnswers; // chosen paths; "" (cancelled) when empty
    struct SaveRequest
    {
        std::string title, defaultName, filter;
    };
    std::vector<SaveRequest> saveRequests;
    std::string clipboard;
    std::vector<std::string> openedPages;

    void messageBox(const std::string& title, const std::string& text) override
    {
        boxes.push_back({title, text});
    }
    std::string saveFileName(const std::string& title, const std::string& defaultName,
        const std::string& filter) override
    {
        saveRequests.push_back({title, defaultName, filter});
        if (saveAnswers.empty())
            return {};
        std::string path = saveAnswers.front();
        saveAnswers.pop_front();
        return path;
    }
    int popupMenu(const std::vector<MenuEntry>& entries) override
    {
        menus.push_back(entries);
        if (menuAnswers.empty())
            return 0;
        int command = menuAnswers.front();
        menuAnswers.pop_front();
        return command;
    }
    void setClipboardText(const std::string& text) override { clipboard = text; }
    void openWebPage(const std::string& address) override { openedPages.push_back(address); }
};

// A window without a window: widget state in maps, the log and the terminal as line lists.
// Start values are those the real window shows after start-up.
class FakeView : public OperatorView
{
public:
    FakeView();

    std::map<WidgetId, std::string> texts;
    std::map<WidgetId, int> indexes;
    std::map<WidgetId, int> spins;
    std::map<WidgetId, bool> checked;
    std::map<WidgetId, std::vector<std::string>> items;
    std::map<WidgetId, std::vector<RegisterRow>> tables;
    std::map<WidgetId, int> selectedRows;
    WidgetId focus = WidgetId::RtuPortCombo;
    std::vector<std::string> log; // messages without the time stamp
    std::vector<std::string> terminal;
    int statusRefreshes = 0;
    FakeDialogs fakeDialogs;

    std::string text(WidgetId id) const override;
    void setText(WidgetId id, const std::string& text) override { texts[id] = text; }
    int currentIndex(WidgetId id) const override;
    void setCurrentIndex(WidgetId id, int index) override;
    int spinValue(WidgetId id) const override;
    bool isChecked(WidgetId id) const override;
    bool hasFocus(WidgetId id) const override { return focus == id; }
    void setFocus(WidgetId id) override { focus = id; }
    void clearItems(WidgetId id) override { items[id].clear(); }
    void addItem(WidgetId id, const std::string& text) override { items[id].push_back(text); }
    int itemCount(WidgetId id) const override;
    std::string itemText(WidgetId id, int index) const override;
    void setRegisterRows(WidgetId list, const std::vector<RegisterRow>& rows) override
    {
        tables[list] = rows;
    }
    int rowCount(WidgetId list) const override;
    std::string cellText(WidgetId list, int row, int column) const override;
    int selectedRow(WidgetId list) const override;
    void appendLog(const std::string& text) override { log.push_back(text); }
    void refreshStatusBar() override { ++statusRefreshes; }
    void terminalAppend(const std::string& text) override { terminal.push_back(text); }
    OperatorDialogs& dialogs() override { return fakeDialogs; }
};

} // namespace kalvenor::test
