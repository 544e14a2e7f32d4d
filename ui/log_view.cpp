#include "ui/log_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace kalvenor {

namespace {
constexpr int textMargin = 3; // left of the text, and right of the widest line
constexpr int frameMs = 16; // the scroll bars and the picture follow the lines this often
} // namespace

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
    measureCharacters();
}

// Shaping a line to measure it would cost more than everything else an append does; for text of
// Latin-1 characters (all the log writes but typed port or host names) adding up the
// characters' widths gives the same within kerning, which only sets the scroll range.
int LogView::textWidth(const QString& line) const
{
    float width = 0;
    for (QChar c : line) {
        if (c.unicode() >= 256)
            return fontMetrics().horizontalAdvance(line);
        width += m_advance[c.unicode()];
    }
    return static_cast<int>(width) + 2;
}

void LogView::measureCharacters()
{
    const QFontMetricsF metrics(font());
    for (int c = 0; c < 256; ++c)
        m_advance[static_cast<std::size_t>(c)]
            = static_cast<float>(metrics.horizontalAdvance(QChar(c)));
}

void LogView::appendLine(const QString& line)
{
    m_lines.push_back(line);
    m_widest = std::max(m_widest, textWidth(line));
    m_current = count() - 1;
    revealRow(m_current);
    scheduleRefresh();
}

void LogView::clear()
{
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_current = -1;
    m_widest = 0;
    m_first = 0;
    refresh();
}

void LogView::setCurrentRow(int row)
{
    if (row < -1 || row >= count())
        return;
    m_current = row;
    if (row >= 0)
        revealRow(row);
    scheduleRefresh();
}

int LogView::visibleRowCount() const { return std::max(1, viewport()->height() / m_rowHeight); }

bool LogView::isRowVisible(int row) const
{
    return row >= m_first && row < m_first + visibleRowCount();
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

void LogView::revealRow(int row)
{
    const int rowsInSight = visibleRowCount();
    if (row < m_first)
        m_first = row;
    else if (row >= m_first + rowsInSight)
        m_first = row - rowsInSight + 1;
    clampFirstRow();
}

void LogView::clampFirstRow()
{
    m_first = std::clamp(m_first, 0, std::max(0, count() - visibleRowCount()));
}

void LogView::scheduleRefresh()
{
    if (m_refreshTimer.isActive())
        return;
    const qint64 since = m_sinceRefresh.isValid() ? m_sinceRefresh.elapsed() : frameMs;
    m_refreshTimer.start(static_cast<int>(std::max<qint64>(0, frameMs - since)), this);
}

void LogView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_refreshTimer.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    refresh();
}

void LogView::refresh()
{
    m_refreshTimer.stop();
    m_sinceRefresh.restart();
    m_syncing = true;
    updateScrollRanges();
    verticalScrollBar()->setValue(m_first);
    m_syncing = false;
    viewport()->update();
}

void LogView::measureAll()
{
    m_rowHeight = fontMetrics().height() + 2;
    measureCharacters();
    m_widest = 0;
    for (const QString& line : m_lines)
        m_widest = std::max(m_widest, textWidth(line));
    clampFirstRow();
    refresh();
}

void LogView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const int first = m_first;
    const int last = std::min(count(), first + visibleRowCount() + 1);
    const int left = textMargin - horizontalScrollBar()->value();
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    const QColor text = palette().color(group, QPalette::Text);
    const int baseline = (m_rowHeight - fontMetrics().height()) / 2 + fontMetrics().ascent();
    for (int row = first; row < last; ++row) {
        const QRect rowRect(0, (row - first) * m_rowHeight, viewport()->width(), m_rowHeight);
        if (row == m_current) {
            painter.fillRect(rowRect, palette().color(group, QPalette::Highlight));
            painter.setPen(palette().color(group, QPalette::HighlightedText));
        } else {
            painter.setPen(text);
        }
        painter.drawText(left, rowRect.top() + baseline, line(row));
    }
}

void LogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    // A taller view keeps the newest line at its bottom edge where it was.
    if (m_current == count() - 1 && m_current >= 0)
        revealRow(m_current);
    clampFirstRow();
    refresh();
}

void LogView::mousePressEvent(QMouseEvent* event)
{
    const int row = m_first + event->position().toPoint().y() / m_rowHeight;
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

// The operator moved a scroll bar (or refresh() set it from m_first).
void LogView::scrollContentsBy(int, int dy)
{
    if (!m_syncing && dy != 0)
        m_first = verticalScrollBar()->value();
    viewport()->update();
}

} // namespace kalvenor
