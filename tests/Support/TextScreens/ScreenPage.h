#pragma once
// The drawing surface of one rendered screen: its colours and fonts, text drawing that
// returns where the text went, line wrapping, and the expected lines collected on the way.

#include "TextScreens/TextScreens.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <utility>
#include <vector>

namespace TextScreens::detail {

struct Palette {
    QColor desktopTop, desktopBottom, panel, onPanel;
    QColor window, titleBar, title, sidebar, text, secondary, placeholder, separator;
    QColor accent, onAccent, field, fieldBorder, stripe, control;
    QColor chatPane, bubbleMine, onBubbleMine, bubbleOther, onBubbleOther;
    QColor menu, menuBorder;
    QColor code, gutter, keyword, string, comment, statusBar, onStatusBar, link, dim;
};

Palette palette(Theme theme);

// Text drawn in one place, for an expected line made of several pieces.
using Fragment = std::pair<QString, QRect>;

class Page {
public:
    Page(QImage &image, const Spec &spec);

    QPainter &painter() { return m_painter; }
    const Palette &colors() const { return m_colors; }
    const Spec &spec() const { return m_spec; }
    // The body text size in pixels.
    int s() const { return m_spec.textSize; }
    QRandomGenerator &random() { return m_random; }

    QFont ui(int pixels, bool bold = false) const;
    QFont mono(int pixels) const;
    static int width(const QString &text, const QFont &font);
    static int height(const QFont &font);

    // Draws `text` with the top of its line box at `topLeft.y()`; returns the line box.
    QRect draw(QPoint topLeft, const QString &text, const QFont &font, const QColor &color);
    QRect drawRight(int right, int top, const QString &text, const QFont &font, const QColor &color);
    // Centred horizontally and vertically in `area`.
    QRect drawCentered(const QRect &area, const QString &text, const QFont &font, const QColor &color);

    // Breaks `text` into lines no wider than `width`: Chinese between any two characters,
    // other text at spaces.
    static QStringList wrap(const QString &text, const QFont &font, int width);

    void expect(const QString &text, const QRect &box);
    // One line of several pieces, read left to right and joined by spaces.
    void expect(const std::vector<Fragment> &fragments);

    // The scene's main element: what a region capture of this scene shows.
    QRect focus;
    std::vector<Line> lines;

private:
    QPainter m_painter;
    Spec m_spec;
    Palette m_colors;
    QRandomGenerator m_random;
    QString m_latinFamily;
    QString m_monospacedFamily;
};

// The scenes, each drawn into `content`, the window's area below its title bar.
void drawMenuScene(Page &page, const QRect &content);
void drawDialogScene(Page &page, const QRect &content);
void drawSettingsScene(Page &page, const QRect &content);
void drawChatScene(Page &page, const QRect &content);
void drawCodeScene(Page &page, const QRect &content);
void drawArticleScene(Page &page, const QRect &content);
void drawBrowserScene(Page &page, const QRect &content);

} // namespace TextScreens::detail
