#include "resources/pictures.h"
#include "tests/ui/window_fixture.h"
#include "ui/pictures_decode.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstring>

namespace kalvenor::test {
namespace {

std::vector<std::uint8_t> bytes(std::span<const std::uint8_t> data)
{
    return {data.begin(), data.end()};
}

void putLe32(std::vector<std::uint8_t>& data, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        data.at(offset + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST(Pictures, HeldIconDecodesWithTransparentCornersAndOpaqueMiddle)
{
    ASSERT_EQ(AppIconData.size(), 766u);
    const QImage icon = decodeIconFile(AppIconData.data(), AppIconData.size());
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(31, 31)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(16, 16)), 255);
    // The emblem's blue at its left edge, below the top rounding; white in the letter's stem.
    EXPECT_EQ(icon.pixel(2, 16), qRgb(0x1F, 0x5F, 0xA8));
}

// Each case breaks the held icon file in one way; the header checks must refuse it all the
// same, without reading outside the data.
TEST(Pictures, IconFilesFailingTheHeaderChecksGiveNoImage)
{
    const std::vector<std::uint8_t> good = bytes(AppIconData);
    struct Case
    {
        const char* what;
        std::vector<std::uint8_t> data;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"header only", {good.begin(), good.begin() + 6}});
    cases.push_back({"directory cut", {good.begin(), good.begin() + 20}});
    cases.push_back({"image cut by one byte", {good.begin(), good.end() - 1}});
    auto cursor = good;
    cursor[2] = 2;
    cases.push_back({"cursor type", cursor});
    auto noImages = good;
    noImages[4] = 0;
    cases.push_back({"no images", noImages});
    auto farOffset = good;
    putLe32(farOffset, 18, 0xFFFFFFF0u);
    cases.push_back({"offset beyond the data", farOffset});
    auto hugeSize = good;
    putLe32(hugeSize, 14, 0xFFFFFFFFu);
    cases.push_back({"size beyond the data", hugeSize});
    auto badBits = good;
    badBits[22 + 14] = 3;
    cases.push_back({"3 bits a pixel", badBits});
    auto tooTall = good;
    putLe32(tooTall, 22 + 8, 200);
    cases.push_back({"taller than its bytes", tooTall});
    std::vector<std::uint8_t> garbage(766);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 37 + 11);
    cases.push_back({"garbage", garbage});

    for (const Case& c : cases)
        EXPECT_TRUE(decodeIconFile(c.data.data(), c.data.size()).isNull()) << c.what;
}

TEST(Pictures, HeldLogoDecodesAndBrokenJpegsGiveNoImage)
{
    const QImage logo = decodeJpeg(LogoImageData.data(), LogoImageData.size());
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.size(), QSize(200, 47));

    const std::vector<std::uint8_t> good = bytes(LogoImageData);
    const std::vector<std::uint8_t> half(good.begin(), good.begin() + good.size() / 2);
    const std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + 20);
    std::vector<std::uint8_t> noise(4000);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<std::uint8_t>(i * 131 + 7);
    std::vector<std::uint8_t> scrambledBytes = good;
    for (std::size_t i = 200; i < scrambledBytes.size(); i += 3)
        scrambledBytes[i] ^= 0x5A;
    const std::vector<const std::vector<std::uint8_t>*> broken
        = {&half, &headerOnly, &noise, &scrambledBytes};
    for (const auto* data : broken)
        EXPECT_TRUE(decodeJpeg(data->data(), data->size()).isNull()) << data->size() << " bytes";
    EXPECT_TRUE(decodeJpeg(nullptr, 0).isNull());
}

TEST(Pictures, HeldDonationPictureIsAGifOfItsSize)
{
    const QImage donate
        = QImage::fromData(DonateImageData.data(), static_cast<int>(DonateImageData.size()), "GIF");
    ASSERT_FALSE(donate.isNull());
    EXPECT_EQ(donate.size(), QSize(98, 26));
}

TEST(Pictures, BrokenPicturesLeaveTheWindowWorkingWithoutThem)
{
    const std::vector<std::uint8_t> garbage(300, 0xA5);
    WindowPictures pictures;
    pictures.icon = garbage;
    pictures.logo = garbage;
    RunningWindow running({}, pictures);
    running.showActive();
    EXPECT_TRUE(running.window->windowIcon().isNull());
    EXPECT_EQ(running.window->widget(WidgetId::WebLink), nullptr);
    EXPECT_EQ(running.find<QWidget>("WebLink"), nullptr);
    // The log moves up to the serial row's bottom plus 20, its button 10 above it.
    EXPECT_EQ(running.window->widget(WidgetId::LogList)->geometry().topLeft(), QPoint(720, 72));
    EXPECT_EQ(
        running.window->widget(WidgetId::ClearLogButton)->geometry().topLeft(), QPoint(720, 36));
    EXPECT_EQ(running.logMessages().back(), "Bereit.");
}

TEST(Pictures, HeldPicturesAppearInTheWindow)
{
    RunningWindow running;
    EXPECT_FALSE(running.window->windowIcon().isNull());
    QWidget* web = running.window->widget(WidgetId::WebLink);
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->size(), QSize(200, 47));
    EXPECT_EQ(web->toolTip(), "https://kalvenor.example.org/");
}

} // namespace
} // namespace kalvenor::test
