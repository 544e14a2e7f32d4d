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

void QtDialogs::messageBox(const std::string& title, const std::string& text)
{
    QMessageBox box(QMessageBox::NoIcon, qs(title), qs(text), QMessageBox::Ok, m_owner);
    box.exec();
}

std::string QtDialogs::saveFileName(
    const std::string& title, const std::string& defaultName, const std::string& filter)
{
    // "display|pattern" becomes Qt's "display (pattern)".
    QString qtFilter = qs(filter);
    const qsizetype bar = qtFilter.indexOf('|');
    if (bar >= 0)
        qtFilter = qtFilter.left(bar) + " (" + qtFilter.mid(bar + 1) + ")";
    const QString path = QFileDialog::getSaveFileName(
        m_owner, qs(title), qs(defaultName), qtFilter, nullptr, QFileDialog::DontConfirmOverwrite);
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
