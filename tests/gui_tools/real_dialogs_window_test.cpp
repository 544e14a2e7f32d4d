#include "tests/gui_tools/operator.h"
#include "ui/dispatch.h"
#include "ui/qt_dialogs.h"
#include "ui/startup.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <memory>

#include <gtest/gtest.h>

namespace kalvenor::test {
namespace {

// The window as main builds it, with the program's own dialogs: the real popup menu and the
// real clipboard instead of scripted answers.
struct WindowWithQtDialogs
{
    ListedPorts ports;
    AppState app;
    QtDialogs dialogs;
    MainWindow window {app, dialogs};
    Dispatch dispatch {app, window};

    WindowWithQtDialogs()
    {
        app.modbus.serial.ports = &ports;
        dialogs.setOwner(&window);
        startUp(app, window, dispatch);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
};

// Answers the next popup menu from inside its own event loop: records its items ("-" for a
// separator), then chooses the item with the text given, or presses Escape for an empty
// choice. A menu that never shows or cannot be answered is closed, so no test hangs.
void answerNextMenu(QStringList& seen, const QString& choice)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, &seen, choice] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu && ++*tries < 300)
            return;
        timer->stop();
        timer->deleteLater();
        if (!menu)
            return;
        QAction* target = nullptr;
        for (QAction* action : menu->actions()) {
            seen << (action->isSeparator() ? QString("-") : action->text());
            if (!choice.isEmpty() && action->text() == choice)
                target = action;
        }
        if (target) {
            menu->setActiveAction(target);
            QTest::keyClick(menu, Qt::Key_Return);
        } else {
            QTest::keyClick(menu, Qt::Key_Escape);
        }
        if (menu->isVisible())
            menu->close();
    });
    timer->start();
}

TEST(TableMenuRealDialogs, TheChosenMenuItemPutsItsTextOnTheClipboard)
{
    WindowWithQtDialogs running;
    running.window.setRegisterRows(WidgetId::RtuRegisterList,
        {{"0x0064", "100", "$00FF", "255"}, {"0x0065", "101", "$1234", "4660"}});
    auto* list = running.window.findChild<QTableWidget*>("RtuRegisterList");
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("vorher");

    const QStringList expectedItems
        = {"Adresse (hex) kopieren: 0x0064", "Adresse (dez) kopieren: 100", "-",
            "Wert (hex) kopieren: $00FF", "Wert (dez) kopieren: 255", "-",
            "Komplette Zeile kopieren", "-", "Tabelle als CSV speichern..."};
    struct Case
    {
        QString choice;
        QString clipboard;
    };
    const Case cases[] = {
        {"", "vorher"}, // closed without a choice
        {"Wert (hex) kopieren: $00FF", "$00FF"},
        {"Adresse (dez) kopieren: 100", "100"},
        {"Komplette Zeile kopieren", "0x0064\t100\t$00FF\t255"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice.toStdString());
        clickRow(list, 0);
        QStringList seen;
        answerNextMenu(seen, c.choice);
        rightClickRow(running.window, list, 0);
        EXPECT_EQ(seen, expectedItems);
        EXPECT_EQ(clipboard->text(), c.clipboard);
    }
}

} // namespace
} // namespace kalvenor::test

namespace kalvenor::test {
namespace {

TEST(SaveDialogFilter, ShowsEachPatternOnce)
{
    struct Case
    {
        const char* given;
        const char* shown;
    };
    const Case cases[] = {
        {"CSV (*.csv)|*.csv", "CSV (*.csv)"},
        {"CSV|*.csv", "CSV (*.csv)"},
        {"Text (*.txt)|*.csv", "Text (*.txt) (*.csv)"},
        {"Alle Dateien (*)", "Alle Dateien (*)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qtFileFilter(c.given).toStdString(), c.shown) << c.given;
}

} // namespace
} // namespace kalvenor::test
