#pragma once

#include "tests/support/fake_view.h"
#include "ui/dispatch.h"
#include "ui/main_window.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kalvenor::test {

// Ports for the start-up scan: the names given, opened as real devices (a pty's path).
class ListedPorts : public SerialPortProvider
{
public:
    explicit ListedPorts(std::vector<std::string> names = {})
        : m_names(std::move(names))
    {
    }
    std::unique_ptr<SerialPort> open(const SerialPortConfig& config) override;
    std::vector<std::string> candidateNames() override { return m_names; }

private:
    std::vector<std::string> m_names;
};

// Forwards to the real dispatch and remembers every event, so a test can tell which events an
// action raised.
class RecordingDispatch : public Dispatch
{
public:
    using Dispatch::Dispatch;
    std::vector<std::pair<WidgetId, UiEvent>> widgetEvents;
    std::vector<int> commands;

    void widgetEvent(WidgetId id, UiEvent event) override
    {
        widgetEvents.emplace_back(id, event);
        Dispatch::widgetEvent(id, event);
    }
    void menuCommand(int command) override
    {
        commands.push_back(command);
        Dispatch::menuCommand(command);
    }
};

// The program as main builds it, with scripted dialogs and a port list of the test's choosing.
struct RunningWindow
{
    explicit RunningWindow(
        std::vector<std::string> portNames = {}, const WindowPictures& pictures = {});
    ~RunningWindow();

    // Shows the window, makes it active and lets the first layout settle.
    void showActive();
    // The log's lines without their time stamps.
    std::vector<std::string> logMessages() const;
    template <class T> T* find(const char* name) const { return window->findChild<T*>(name); }

    ListedPorts ports;
    std::unique_ptr<AppState> app;
    FakeDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<RecordingDispatch> dispatch;
};

} // namespace kalvenor::test
