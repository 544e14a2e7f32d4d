#pragma once

#include "commands/widget_id.h"

namespace kalvenor {

// What a widget reports to the dispatch. Only operator actions raise these: a selection made by
// the program itself (the port scan choosing its first entry) is no event.
enum class UiEvent
{
    Pressed, // a button was pressed
    Clicked, // an option button or a picture was clicked
    SelectionChanged, // the operator chose a combo box entry
    TextEdited, // the operator typed into the editable combo box
    FocusLost, // the editable combo box lost the input focus
    ValueChanged, // a spin field's value changed
    TabChanged, // the selected tab changed
    RightClick, // a right click on a register list
};

// Receives the window's events: widget events, menu commands (menu items, popup items and the
// window-wide keys) and the poll timer's ticks.
class UiEventSink
{
public:
    virtual ~UiEventSink() = default;
    virtual void widgetEvent(WidgetId id, UiEvent event) = 0;
    virtual void menuCommand(int command) = 0;
    virtual void timerTick() = 0;
};

} // namespace kalvenor
