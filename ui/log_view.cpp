#include "ui/log_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace kalvenor {

namespace {
constexpr int textMargin = 3; // left of the text, and right of the widest line
}

LogView::LogView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
    m_rowHeight = fontMetrics().height() + 2;
}

int LogView::textWidth(const QString& line) const
{
    return fontMetrics().horizontalAdvance(line);
}

void LogView::appendLine(const QString& line)
{
    m_lines.push_back(line);
    m_widest = std::max(m_widest, textWidth(line));
    m_current = count() - 1;
    updateScrollRanges();
    scrollToRow(m_current);
    viewport()->update();
}

void LogView::clear()
{
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_current = -1;
    m_widest = 0;
    updateScrollRanges();
    viewport()->update();
}

void LogView::setCurrentRow(int row)
{
    if (row < -1 || row >= count())
        return;
    m_current = row;
    if (row >= 0)
        scrollToRow(row);
    viewport()->update();
}

int LogView::firstVisibleRow() const { return verticalScrollBar()->value(); }

int LogView::visibleRowCount() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

bool LogView::isRowVisible(int row) const
{
    const int first = firstVisibleRow();
    return row >= first && row < first + visibleRowCount();
}

// The vertical bar counts rows (one step is one line); the horizontal one counts pixels.
void LogView::updateScrollRanges()
{
    const int rowsInSight = visibleRowCount();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setPageStep(rowsInSight);
    vertical->setRange(0, std::max(0, count() - rowsInSight));
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(std::max(1, fontMetrics().averageCharWidth()));
    horizontal->setRange(0, std::max(0, m_widest + 2 * textMargin - viewport()->width()));
}

void LogView::scrollToRow(int row)
{
    QScrollBar* vertical = verticalScrollBar();
    const int rowsInSight = visibleRowCount();
    if (row < vertical->value())
        vertical->setValue(row);
    else if (row >= vertical->value() + rowsInSight)
        vertical->setValue(row - rowsInSight + 1);
}

void LogView::measureAll()
{
    m_rowHeight = fontMetrics().height() + 2;
    m_widest = 0;
    for (const QString& line : m_lines)
        m_widest = std::max(m_widest, textWidth(line));
    updateScrollRanges();
}

void LogView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const int first = firstVisibleRow();
    const int last = std::min(count(), first + visibleRowCount() + 1);
    const int left = textMargin - horizontalScrollBar()->value();
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    const QColor text = palette().color(group, QPalette::Text);
    for (int row = first; row < last; ++row) {
        const QRect rowRect(0, (row - first) * m_rowHeight, viewport()->width(), m_rowHeight);
        if (row == m_current) {
            painter.fillRect(rowRect, palette().color(group, QPalette::Highlight));
            painter.setPen(palette().color(group, QPalette::HighlightedText));
        } else {
            painter.setPen(text);
        }
        painter.drawText(QRect(left, rowRect.top(), m_widest + textMargin, m_rowHeight),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line(row));
    }
}

void LogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRanges();
}

void LogView::mousePressEvent(QMouseEvent* event)
{
    const int row = firstVisibleRow() + event->position().toPoint().y() / m_rowHeight;
    if (row < count())
        setCurrentRow(row);
    QAbstractScrollArea::mousePressEvent(event);
}

void LogView::keyPressEvent(QKeyEvent* event)
{
    if (count() == 0) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int page = visibleRowCount();
    int row = m_current;
    switch (event->key()) {
    case Qt::Key_Up:
        row = std::max(0, row - 1);
        break;
    case Qt::Key_Down:
        row = std::min(count() - 1, row + 1);
        break;
    case Qt::Key_PageUp:
        row = std::max(0, row - page);
        break;
    case Qt::Key_PageDown:
        row = std::min(count() - 1, row + page);
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = count() - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    setCurrentRow(row);
}

void LogView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        measureAll();
}

void LogView::scrollContentsBy(int, int) { viewport()->update(); }

} // namespace kalvenor
