#pragma once

#include "ui/app_state.h"
#include "ui/ui_event.h"

namespace kalvenor {

class MainWindow;

// Routes every event of the window to its handler: widget events by (identifier, event),
// menu commands by number, and the poll timer's ticks. The routes are the tables in
// dispatch.cpp; an event without a route is ignored.
class Dispatch : public UiEventSink
{
public:
    Dispatch(AppState& app, MainWindow& window);

    void widgetEvent(WidgetId id, UiEvent event) override;
    void menuCommand(int command) override;
    void timerTick() override;

    AppState& app;
    MainWindow& window;
};

// The tab change: fits the register list of a read tab and logs a change of the transport.
void tabChanged(AppState& app, MainWindow& window);

} // namespace kalvenor
