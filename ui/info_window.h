#pragma once

#include <QImage>
#include <QWidget>

namespace kalvenor {

class ClickableImage;

// The small "Info" window: the program's name, the maker's notice, the version, and the
// donation picture. A window of its own, not modal; it deletes itself when closed.
class InfoWindow : public QWidget
{
    Q_OBJECT

public:
    // donatePicture may be null: the window then shows the text alone.
    explicit InfoWindow(const QImage& donatePicture);

    // The five lines, separated by CR LF.
    static const char* infoText();

signals:
    void donateClicked();
};

} // namespace kalvenor
