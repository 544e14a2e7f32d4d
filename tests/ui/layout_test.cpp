#include "tests/ui/window_fixture.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace kalvenor::test {
namespace {

QRect inClient(const MainWindow& window, WidgetId id)
{
    const QWidget* w = window.widget(id);
    return QRect(w->mapTo(window.centralWidget(), QPoint(0, 0)), w->size());
}

// What the size-change rule promises for any window size, given W, H and SB.
void expectLayoutFollowsSize(const MainWindow& window)
{
    const int W = window.innerWidth();
    const int H = window.innerHeight();
    const int SB = window.statusBarHeight();
    const QRect panel = inClient(window, WidgetId::TabPanel);
    EXPECT_EQ(panel, QRect(10, 130, 700, H - SB - 160));
    for (WidgetId list : {WidgetId::RtuRegisterList, WidgetId::TcpRegisterList}) {
        const QRect r = inClient(window, list);
        EXPECT_EQ(r.width(), 670);
        EXPECT_EQ(r.bottom() + 1, std::max(panel.bottom() + 1 - 15, r.top() + 80));
    }
    EXPECT_EQ(inClient(window, WidgetId::WebLink), QRect(W - 220, 72, 200, 47));
    EXPECT_EQ(inClient(window, WidgetId::LogList),
        QRect(720, 129, std::max(50, W - 740), std::max(50, H - SB - 129 - 45)));
    EXPECT_EQ(inClient(window, WidgetId::ClearLogButton), QRect(720, 82, 110, 26));
}

TEST(Layout, SettledWindowMatchesTheGivenGeometry)
{
    RunningWindow running;
    running.showActive();
    const MainWindow& window = *running.window;
    EXPECT_EQ(window.windowTitle(), "Kalvenor");
    EXPECT_EQ(window.innerWidth(), 1078);
    EXPECT_EQ(window.innerHeight(), 700);
    EXPECT_EQ(window.minimumSize(), QSize(1078, 480));
    EXPECT_EQ(inClient(window, WidgetId::WebLink).topLeft(), QPoint(858, 72));
    EXPECT_EQ(inClient(window, WidgetId::LogList).topLeft(), QPoint(720, 129));
    EXPECT_EQ(inClient(window, WidgetId::LogList).width(), 338);
    EXPECT_EQ(inClient(window, WidgetId::ClearLogButton).topLeft(), QPoint(720, 82));
    // The buttons follow the timeout spin field 10 apart; the window is as wide as they need.
    EXPECT_EQ(inClient(window, WidgetId::ScanButton), QRect(780, 28, 84, 24));
    EXPECT_EQ(inClient(window, WidgetId::ConnectButton), QRect(874, 28, 88, 24));
    EXPECT_EQ(inClient(window, WidgetId::DisconnectButton), QRect(972, 28, 96, 24));
    expectLayoutFollowsSize(window);
}

TEST(Layout, EnlargingMovesOnlyWhatTheRuleNames)
{
    RunningWindow running;
    running.showActive();
    MainWindow& window = *running.window;
    std::vector<std::pair<WidgetId, QRect>> fixed;
    for (WidgetId id : {WidgetId::RtuPortCombo, WidgetId::DisconnectButton, WidgetId::TcpHostField,
             WidgetId::TcpDisconnectButton, WidgetId::RtuReadButton, WidgetId::TerminalView,
             WidgetId::HandshakeCombo})
        fixed.emplace_back(id, inClient(window, id));

    window.resize(1400, 900);
    QCoreApplication::processEvents();
    ASSERT_EQ(window.size(), QSize(1400, 900));
    expectLayoutFollowsSize(window);
    EXPECT_EQ(inClient(window, WidgetId::LogList).width(), 660);
    for (const auto& [id, rect] : fixed)
        EXPECT_EQ(inClient(window, id), rect) << static_cast<int>(id);

    // Smaller than the minimum is clamped; the lists keep usable heights there.
    window.resize(600, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.size(), QSize(1078, 480));
    expectLayoutFollowsSize(window);
    EXPECT_GT(inClient(window, WidgetId::RtuRegisterList).height(), 80);
    EXPECT_GT(inClient(window, WidgetId::LogList).height(), 50);
}

TEST(Layout, EveryWidgetCarriesItsNameAndIdentifier)
{
    RunningWindow running;
    const std::pair<WidgetId, const char*> named[]
        = {{WidgetId::RtuPortCombo, "RtuPortCombo"}, {WidgetId::SlaveIdSpin, "SlaveIdSpin"},
            {WidgetId::TabPanel, "TabPanel"}, {WidgetId::RtuRegisterList, "RtuRegisterList"},
            {WidgetId::LogList, "LogList"}, {WidgetId::TcpWriteValuesField, "TcpWriteValuesField"},
            {WidgetId::LineEndCrLfOption, "LineEndCrLfOption"},
            {WidgetId::OptionsFrame, "OptionsFrame"}, {WidgetId::HandshakeCombo, "HandshakeCombo"},
            {WidgetId::WebLink, "WebLink"}};
    for (const auto& [id, name] : named) {
        const QWidget* w = running.find<QWidget>(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(w, running.window->widget(id)) << name;
        EXPECT_EQ(w->property("widgetId").toInt(), static_cast<int>(id)) << name;
    }
}

TEST(Layout, StartValuesAndCaptions)
{
    RunningWindow running;
    MainWindow& w = *running.window;
    EXPECT_EQ(w.text(WidgetId::BaudCombo), "9600");
    EXPECT_EQ(w.currentIndex(WidgetId::ParityCombo), 0);
    EXPECT_EQ(w.text(WidgetId::DataBitsCombo), "8");
    EXPECT_EQ(w.text(WidgetId::StopBitsCombo), "1");
    EXPECT_EQ(w.spinValue(WidgetId::SlaveIdSpin), 1);
    EXPECT_EQ(w.spinValue(WidgetId::RtuTimeoutSpin), 800);
    EXPECT_EQ(w.text(WidgetId::TcpHostField), "127.0.0.1");
    EXPECT_EQ(w.text(WidgetId::TcpPortField), "502");
    EXPECT_EQ(w.spinValue(WidgetId::TcpTimeoutSpin), 1200);
    EXPECT_EQ(w.currentIndex(WidgetId::TabPanel), RtuReadTab);
    EXPECT_EQ(w.text(WidgetId::RtuWriteValuesField), "10,20,30");
    EXPECT_EQ(w.text(WidgetId::TcpReadCountField), "2");
    EXPECT_TRUE(w.isChecked(WidgetId::LineEndCrOption));
    EXPECT_EQ(w.text(WidgetId::LineEndCrLfOption), "CR+LF (\\r\\n)");
    EXPECT_EQ(w.text(WidgetId::HandshakeCombo), "None");
    EXPECT_EQ(w.text(WidgetId::ClearLogButton), "Log löschen");
    auto* tabs = running.find<QTabWidget>("TabPanel");
    const QStringList titles
        = {"RTU Lesen", "RTU Schreiben", "TCP Lesen", "TCP Schreiben", "Seriell"};
    ASSERT_EQ(tabs->count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(tabs->tabText(i), titles[i]);
}

// The chosen font must show every caption in full inside its fixed-size widget.
TEST(Layout, EveryCaptionFitsItsWidget)
{
    RunningWindow running;
    running.showActive();
    for (const QLabel* label : running.window->findChildren<QLabel*>()) {
        if (label->text().isEmpty() || label->parentWidget() == running.window->statusBar())
            continue;
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
            << label->text().toStdString();
    }
    for (const QAbstractButton* button : running.window->findChildren<QAbstractButton*>()) {
        if (button->text().isEmpty())
            continue;
        if (qobject_cast<const QRadioButton*>(button))
            EXPECT_LE(button->sizeHint().width(), button->width()) << button->text().toStdString();
        else // a push button's frame and padding take about 4 pixels a side
            EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 8, button->width())
                << button->text().toStdString();
    }
    for (const QGroupBox* frame : running.window->findChildren<QGroupBox*>())
        EXPECT_LE(frame->fontMetrics().horizontalAdvance(frame->title()) + 20, frame->width());
}

} // namespace
} // namespace kalvenor::test
