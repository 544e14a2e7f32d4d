#include "ui/clickable_image.h"

#include <QMouseEvent>
#include <QPixmap>

namespace kalvenor {

ClickableImage::ClickableImage(const QImage& image, QWidget* parent)
    : QLabel(parent)
{
    setPixmap(QPixmap::fromImage(image));
    setFixedSize(image.size());
    setCursor(Qt::PointingHandCursor);
}

void ClickableImage::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void ClickableImage::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void ClickableImage::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton
        && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        emit clicked();
}

} // namespace kalvenor
