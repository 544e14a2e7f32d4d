#include "ui/info_window.h"

#include "commands/widget_id.h"
#include "ui/clickable_image.h"

#include <QLabel>

namespace kalvenor {

namespace {
constexpr int infoWidth = 200;
constexpr int infoHeight = 160;
} // namespace

const char* InfoWindow::infoText()
{
    return "Kalvenor\r\n"
           "Modbus-Master für RTU und TCP\r\n"
           "Freie Software, ohne Gewähr\r\n"
           "kalvenor.example.org\r\n"
           "V 1.0.2";
}

InfoWindow::InfoWindow(const QImage& donatePicture)
    : QWidget(nullptr,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
{
    setObjectName("InfoWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Info");
    setFixedSize(infoWidth, infoHeight);

    auto* text = new QLabel(this);
    text->setObjectName("InfoText");
    text->setProperty("widgetId", static_cast<int>(WidgetId::InfoText));
    // A label breaks lines at LF; the CR of each CR LF pair would show as a stray glyph.
    text->setText(QString::fromUtf8(infoText()).replace("\r\n", "\n"));
    text->setTextFormat(Qt::PlainText);
    text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    text->setGeometry(16, 16, 168, 80);

    if (!donatePicture.isNull()) {
        auto* donate = new ClickableImage(donatePicture, this);
        donate->setObjectName("DonateImage");
        donate->setProperty("widgetId", static_cast<int>(WidgetId::DonateImage));
        donate->move((infoWidth - donatePicture.width()) / 2, 108);
        donate->setToolTip("Danke!");
        connect(donate, &ClickableImage::clicked, this, &InfoWindow::donateClicked);
    }
}

} // namespace kalvenor
