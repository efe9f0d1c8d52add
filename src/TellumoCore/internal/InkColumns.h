#pragma once
// The ink of a line picture column by column: how dark each column is and the blank runs
// between inked ones, from which the steps that cut or space a line tell the blank between two
// words from the blank between two letters.
//
// The picture is Format_Grayscale8, dark ink on white, as LineImages draws it.

#include <QImage>

#include <vector>

namespace Tellumo::detail {

class InkColumns {
public:
    explicit InkColumns(const QImage &picture);

    int width() const { return int(m_ink.size()); }
    // The inked pixels of column x.
    int ink(int x) const { return m_ink[size_t(x)]; }
    const std::vector<int> &columns() const { return m_ink; }
    // The rows of the line's ink; height() is 0 without ink.
    int top() const { return m_top; }
    int bottom() const { return m_bottom; }
    int height() const { return m_bottom >= m_top ? m_bottom - m_top + 1 : 0; }
    // Whether a blank run of `columns` parts two words: at least a fifth of the ink's height (the
    // space of a Latin face is about a third of the line's height, letters stand less than a
    // tenth apart) and three times the line's usual blank between two inked columns (a
    // monospaced face leaves wide blanks beside narrow signs such as brackets).
    bool partsWords(int columns) const;
    // The widest blank run within [from, to), clipped to it; 0 when there is none.
    int widestBlank(int from, int to) const;

private:
    std::vector<int> m_ink;
    int m_top = 0, m_bottom = -1;
    int m_usualGap = 0;
};

} // namespace Tellumo::detail
