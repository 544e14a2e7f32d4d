#pragma once

#include <QObject>

#include <functional>

class QWidget;

namespace kalvenor {

// The main window's three window-wide keys: Return (or keypad Enter), Up and Down without
// modifiers raise the commands 2001, 2002 and 2003 and never reach the focused widget.
// Installed on the application, because an editable text view claims these keys for itself
// before any shortcut sees them. Keys typed in other windows (the Info window, a drop-down list,
// a popup menu) are theirs.
class WindowKeys : public QObject
{
    Q_OBJECT

public:
    WindowKeys(QWidget* mainWindow, std::function<void(int command)> raiseCommand,
        QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    QWidget* m_window;
    std::function<void(int)> m_raise;
};

} // namespace kalvenor
