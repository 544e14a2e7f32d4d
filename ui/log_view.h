#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QString>

#include <array>
#include <vector>

namespace kalvenor {

// A single-column list of text lines that only grows (and can be cleared), with one selected
// line. It keeps the lines in a vector and paints only the rows in sight, all of one height, so
// appending costs the same at the 100,000th line as at the first. The widest line seen so far
// sets the horizontal scroll range.
//
// Selection and the rows in sight change at once with each line; the scroll bars and the
// picture follow at most once a frame (16 ms), so a burst of lines costs one repaint, not one
// per line.
class LogView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit LogView(QWidget* parent = nullptr);

    // Appends a line, selects it and scrolls it into view.
    void appendLine(const QString& line);
    void clear();
    int count() const { return static_cast<int>(m_lines.size()); }
    const QString& line(int row) const { return m_lines[static_cast<std::size_t>(row)]; }
    // The selected line, -1 for none.
    int currentRow() const { return m_current; }
    void setCurrentRow(int row);
    // Rows [first, first + n) are in sight, n possibly cut at the bottom.
    int firstVisibleRow() const { return m_first; }
    int visibleRowCount() const;
    bool isRowVisible(int row) const;
    int rowHeight() const { return m_rowHeight; }
    int widestLine() const { return m_widest; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void updateScrollRanges();
    void revealRow(int row);
    void clampFirstRow();
    void scheduleRefresh();
    void refresh();
    int textWidth(const QString& line) const;
    void measureAll();
    void measureCharacters();

    std::vector<QString> m_lines;
    std::array<float, 256> m_advance {}; // width of each Latin-1 character in the font
    int m_current = -1;
    int m_first = 0; // the top row in sight
    bool m_syncing = false; // the scroll bars are being set from m_first
    QBasicTimer m_refreshTimer;
    QElapsedTimer m_sinceRefresh;
    int m_widest = 0;
    int m_rowHeight = 16;
};

} // namespace kalvenor
