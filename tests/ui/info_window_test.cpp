#include "tests/ui/window_fixture.h"
#include "ui/info_window.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace kalvenor::test {
namespace {

int openInfoWindows()
{
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        count += w->objectName() == "InfoWindow" && w->isVisible();
    return count;
}

TEST(InfoWindow, OneAtMostBroughtToTheFront)
{
    RunningWindow running;
    running.showActive();
    running.dispatch->menuCommand(static_cast<int>(MenuCommand::InfoMenuItem));
    InfoWindow* first = running.window->infoWindow();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(first));
    running.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(running.window.get()));

    running.dispatch->menuCommand(static_cast<int>(MenuCommand::InfoMenuItem));
    EXPECT_EQ(running.window->infoWindow(), first);
    EXPECT_EQ(openInfoWindows(), 1);
    EXPECT_TRUE(QTest::qWaitForWindowActive(first));
    // Not owned by the main window and not modal.
    EXPECT_EQ(first->parentWidget(), nullptr);
    EXPECT_EQ(first->windowModality(), Qt::NonModal);
}

TEST(InfoWindow, ContentSizeAndPlacement)
{
    RunningWindow running;
    running.window->showInfoWindow();
    InfoWindow* info = running.window->infoWindow();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->windowTitle(), "Info");
    EXPECT_EQ(info->size(), QSize(200, 160));
    EXPECT_EQ(info->minimumSize(), info->maximumSize());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((info->geometry().center() - screen.center()).manhattanLength(), 2);

    const QLabel* text = info->findChild<QLabel*>("InfoText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->geometry(), QRect(16, 16, 168, 80));
    const QStringList lines = QString::fromUtf8(InfoWindow::infoText()).split("\r\n");
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines.first(), "Kalvenor");
    EXPECT_EQ(lines.last(), "V 1.0.2");
    for (const QString& line : lines)
        EXPECT_LE(text->fontMetrics().horizontalAdvance(line), text->width()) << line.toStdString();
    EXPECT_LE(5 * text->fontMetrics().lineSpacing(), text->height());

    const QWidget* donate = info->findChild<QWidget*>("DonateImage");
    ASSERT_NE(donate, nullptr);
    EXPECT_EQ(donate->geometry(), QRect(51, 108, 98, 26));
    EXPECT_EQ(donate->toolTip(), "Danke!");
}

TEST(InfoWindow, DonationPictureOpensThePageAndClosingKeepsTheProgram)
{
    RunningWindow running;
    running.showActive();
    running.window->showInfoWindow();
    QPointer<InfoWindow> info = running.window->infoWindow();
    ASSERT_TRUE(info);
    QTest::mouseClick(info->findChild<QWidget*>("DonateImage"), Qt::LeftButton);
    EXPECT_EQ(running.dialogs.openedPages,
        std::vector<std::string> {"https://kalvenor.example.org/spenden"});
    EXPECT_TRUE(info->isVisible());

    info->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(info.isNull());
    EXPECT_EQ(running.window->infoWindow(), nullptr);
    EXPECT_TRUE(running.window->isVisible());

    // Opened again, it is built anew and centred again.
    running.window->showInfoWindow();
    ASSERT_NE(running.window->infoWindow(), nullptr);
    EXPECT_EQ(openInfoWindows(), 1);
}

TEST(InfoWindow, WithoutTheDonationPictureOnlyTheTextIsShown)
{
    InfoWindow info {QImage()};
    EXPECT_EQ(info.findChild<QWidget*>("DonateImage"), nullptr);
    EXPECT_NE(info.findChild<QLabel*>("InfoText"), nullptr);
}

} // namespace
} // namespace kalvenor::test
