#include "ui/qt_dialogs.h"

#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QUrl>

namespace kalvenor {

namespace {
QString qs(const std::string& text) { return QString::fromStdString(text); }
} // namespace

QString qtFileFilter(const std::string& filter)
{
    // A display text that already names its pattern, as "CSV (*.csv)" does, is taken as it
    // stands, so the dialog shows the pattern once.
    const QString text = qs(filter);
    const qsizetype bar = text.indexOf('|');
    if (bar < 0)
        return text;
    const QString display = text.left(bar);
    const QString pattern = text.mid(bar + 1);
    if (display.endsWith("(" + pattern + ")"))
        return display;
    return display + " (" + pattern + ")";
}

void QtDialogs::messageBox(const std::string& title, const std::string& text)
{
    QMessageBox box(QMessageBox::NoIcon, qs(title), qs(text), QMessageBox::Ok, m_owner);
    box.exec();
}

std::string QtDialogs::saveFileName(
    const std::string& title, const std::string& defaultName, const std::string& filter)
{
    const QString path = QFileDialog::getSaveFileName(m_owner, qs(title), qs(defaultName),
        qtFileFilter(filter), nullptr, QFileDialog::DontConfirmOverwrite);
    return path.toStdString();
}

int QtDialogs::popupMenu(const std::vector<MenuEntry>& entries)
{
    QMenu menu(m_owner);
    for (const MenuEntry& entry : entries) {
        if (entry.command == 0) {
            menu.addSeparator();
            continue;
        }
        // A single & would mark the next letter as the item's key.
        QAction* action = menu.addAction(qs(entry.text).replace('&', "&&"));
        action->setData(entry.command);
    }
    QAction* chosen = menu.exec(QCursor::pos());
    return chosen ? chosen->data().toInt() : 0;
}

void QtDialogs::setClipboardText(const std::string& text)
{
    QGuiApplication::clipboard()->setText(qs(text));
}

void QtDialogs::openWebPage(const std::string& address)
{
    QDesktopServices::openUrl(QUrl(qs(address)));
}

} // namespace kalvenor
