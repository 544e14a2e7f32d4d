#pragma once

#include <QLabel>

namespace kalvenor {

// A picture of fixed size that reports clicks; a double-click reports a click for each of its
// two presses.
class ClickableImage : public QLabel
{
    Q_OBJECT

public:
    explicit ClickableImage(const QImage& image, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};

} // namespace kalvenor
