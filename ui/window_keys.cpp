#include "ui/window_keys.h"

#include "commands/widget_id.h"

#include <QKeyEvent>
#include <QWidget>

namespace kalvenor {

WindowKeys::WindowKeys(QWidget* mainWindow, std::function<void(int)> raiseCommand, QObject* parent)
    : QObject(parent)
    , m_window(mainWindow)
    , m_raise(std::move(raiseCommand))
{
}

bool WindowKeys::eventFilter(QObject* receiver, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (!widget || widget->window() != m_window)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    MenuCommand command;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        command = MenuCommand::SendShortcut;
        break;
    case Qt::Key_Up:
        command = MenuCommand::HistoryBackShortcut;
        break;
    case Qt::Key_Down:
        command = MenuCommand::HistoryForwardShortcut;
        break;
    default:
        return false;
    }
    // Taken in all three forms: the override so no widget claims the key, the press to act on
    // it, the release so no widget sees half of it.
    if (type == QEvent::KeyPress)
        m_raise(static_cast<int>(command));
    return true;
}

} // namespace kalvenor
