#include "TextScreens/ScreenPage.h"

#include <QFontMetrics>

namespace TextScreens::detail {

Palette palette(Theme theme)
{
    if (theme == Theme::light) {
        return {
            .desktopTop = QColor(QRgb(0x5B8DEF)), .desktopBottom = QColor(QRgb(0x9CC3F5)), .panel = QColor(QRgb(0x111111)), .onPanel = QColor(QRgb(0xFFFFFF)),
            .window = QColor(QRgb(0xFFFFFF)), .titleBar = QColor(QRgb(0xECECEC)), .title = QColor(QRgb(0x262626)), .sidebar = QColor(QRgb(0xF2F2F5)),
            .text = QColor(QRgb(0x1D1D1F)), .secondary = QColor(QRgb(0x6E6E73)), .placeholder = QColor(QRgb(0xA1A1A6)), .separator = QColor(QRgb(0xD8D8DC)),
            .accent = QColor(QRgb(0x0A6FE0)), .onAccent = QColor(QRgb(0xFFFFFF)), .field = QColor(QRgb(0xFFFFFF)), .fieldBorder = QColor(QRgb(0xC7C7CC)),
            .stripe = QColor(QRgb(0xF4F4F6)), .control = QColor(QRgb(0xE5E5EA)),
            .chatPane = QColor(QRgb(0xEDEDED)), .bubbleMine = QColor(QRgb(0x95EC69)), .onBubbleMine = QColor(QRgb(0x111111)),
            .bubbleOther = QColor(QRgb(0xFFFFFF)), .onBubbleOther = QColor(QRgb(0x111111)),
            .menu = QColor(QRgb(0xFFFFFF)), .menuBorder = QColor(QRgb(0xCFCFD4)),
            .code = QColor(QRgb(0xFFFFFF)), .gutter = QColor(QRgb(0x8E8E93)), .keyword = QColor(QRgb(0xAF00DB)), .string = QColor(QRgb(0xA31515)),
            .comment = QColor(QRgb(0x008000)), .statusBar = QColor(QRgb(0x007ACC)), .onStatusBar = QColor(QRgb(0xFFFFFF)), .link = QColor(QRgb(0x0B63CE)),
            .dim = QColor(0, 0, 0, 64),
        };
    }
    if (theme == Theme::sepia) {
        return {
            .desktopTop = QColor(QRgb(0x8C6D46)), .desktopBottom = QColor(QRgb(0xC9A66B)), .panel = QColor(QRgb(0x3B2F22)), .onPanel = QColor(QRgb(0xF5EBD7)),
            .window = QColor(QRgb(0xF8F1E3)), .titleBar = QColor(QRgb(0xE9DFC9)), .title = QColor(QRgb(0x3B3024)), .sidebar = QColor(QRgb(0xEFE5D0)),
            .text = QColor(QRgb(0x433422)), .secondary = QColor(QRgb(0x7A6A55)), .placeholder = QColor(QRgb(0xA8997F)), .separator = QColor(QRgb(0xD6C8AA)),
            .accent = QColor(QRgb(0xA0522D)), .onAccent = QColor(QRgb(0xFFF8EC)), .field = QColor(QRgb(0xFFFBF2)), .fieldBorder = QColor(QRgb(0xCDBE9F)),
            .stripe = QColor(QRgb(0xF2E9D6)), .control = QColor(QRgb(0xE3D7BD)),
            .chatPane = QColor(QRgb(0xEFE6D2)), .bubbleMine = QColor(QRgb(0xD9C7A0)), .onBubbleMine = QColor(QRgb(0x2E2417)),
            .bubbleOther = QColor(QRgb(0xFFFBF2)), .onBubbleOther = QColor(QRgb(0x2E2417)),
            .menu = QColor(QRgb(0xFFFBF2)), .menuBorder = QColor(QRgb(0xCDBE9F)),
            .code = QColor(QRgb(0xFDF6E3)), .gutter = QColor(QRgb(0x93A1A1)), .keyword = QColor(QRgb(0x859900)), .string = QColor(QRgb(0x2AA198)),
            .comment = QColor(QRgb(0x8A7F68)), .statusBar = QColor(QRgb(0x6B4F2C)), .onStatusBar = QColor(QRgb(0xF5EBD7)), .link = QColor(QRgb(0x8B3A0F)),
            .dim = QColor(60, 40, 10, 56),
        };
    }
    if (theme == Theme::dim) {
        return {
            .desktopTop = QColor(QRgb(0x2D333B)), .desktopBottom = QColor(QRgb(0x1C2128)), .panel = QColor(QRgb(0x161B22)), .onPanel = QColor(QRgb(0xADBAC7)),
            .window = QColor(QRgb(0x22272E)), .titleBar = QColor(QRgb(0x2D333B)), .title = QColor(QRgb(0xADBAC7)), .sidebar = QColor(QRgb(0x1C2128)),
            .text = QColor(QRgb(0xADBAC7)), .secondary = QColor(QRgb(0x768390)), .placeholder = QColor(QRgb(0x636E7B)), .separator = QColor(QRgb(0x444C56)),
            .accent = QColor(QRgb(0x316DCA)), .onAccent = QColor(QRgb(0xCDD9E5)), .field = QColor(QRgb(0x2D333B)), .fieldBorder = QColor(QRgb(0x444C56)),
            .stripe = QColor(QRgb(0x262C34)), .control = QColor(QRgb(0x373E47)),
            .chatPane = QColor(QRgb(0x1C2128)), .bubbleMine = QColor(QRgb(0x347D39)), .onBubbleMine = QColor(QRgb(0xE6EDF3)),
            .bubbleOther = QColor(QRgb(0x373E47)), .onBubbleOther = QColor(QRgb(0xCDD9E5)),
            .menu = QColor(QRgb(0x2D333B)), .menuBorder = QColor(QRgb(0x444C56)),
            .code = QColor(QRgb(0x22272E)), .gutter = QColor(QRgb(0x636E7B)), .keyword = QColor(QRgb(0xF47067)), .string = QColor(QRgb(0x96D0FF)),
            .comment = QColor(QRgb(0x768390)), .statusBar = QColor(QRgb(0x2D333B)), .onStatusBar = QColor(QRgb(0xADBAC7)), .link = QColor(QRgb(0x539BF5)),
            .dim = QColor(0, 0, 0, 100),
        };
    }
    return {
        .desktopTop = QColor(QRgb(0x1F2A44)), .desktopBottom = QColor(QRgb(0x3B2F5C)), .panel = QColor(QRgb(0x000000)), .onPanel = QColor(QRgb(0xEEEEEE)),
        .window = QColor(QRgb(0x1E1E1E)), .titleBar = QColor(QRgb(0x2B2B2B)), .title = QColor(QRgb(0xDDDDDD)), .sidebar = QColor(QRgb(0x252526)),
        .text = QColor(QRgb(0xE8E8ED)), .secondary = QColor(QRgb(0x98989D)), .placeholder = QColor(QRgb(0x6C6C70)), .separator = QColor(QRgb(0x3A3A3C)),
        .accent = QColor(QRgb(0x0A84FF)), .onAccent = QColor(QRgb(0xFFFFFF)), .field = QColor(QRgb(0x2C2C2E)), .fieldBorder = QColor(QRgb(0x48484A)),
        .stripe = QColor(QRgb(0x262628)), .control = QColor(QRgb(0x3A3A3C)),
        .chatPane = QColor(QRgb(0x161616)), .bubbleMine = QColor(QRgb(0x0A84FF)), .onBubbleMine = QColor(QRgb(0xFFFFFF)),
        .bubbleOther = QColor(QRgb(0x3A3A3C)), .onBubbleOther = QColor(QRgb(0xEEEEEE)),
        .menu = QColor(QRgb(0x2C2C2E)), .menuBorder = QColor(QRgb(0x48484A)),
        .code = QColor(QRgb(0x1E1E1E)), .gutter = QColor(QRgb(0x858585)), .keyword = QColor(QRgb(0xC586C0)), .string = QColor(QRgb(0xCE9178)),
        .comment = QColor(QRgb(0x6A9955)), .statusBar = QColor(QRgb(0x007ACC)), .onStatusBar = QColor(QRgb(0xFFFFFF)), .link = QColor(QRgb(0x4EA1FF)),
        .dim = QColor(0, 0, 0, 115),
    };
}

namespace {

quint32 seedOf(const Spec &spec)
{
    return quint32(int(spec.scene) * 1009 + int(spec.language) * 131 + int(spec.theme) * 17 + spec.textSize * 7 +
                   int(spec.framing) * 3 + spec.masks + int(spec.face) * 5003);
}

bool isWide(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFF00 && u <= 0xFFEF) ||
           (u >= 0x3000 && u <= 0x303F) || c.isSurrogate();
}

// Pieces a line may break between: one wide character, a run of spaces, or a run of anything else.
QStringList breakableTokens(const QString &text)
{
    QStringList tokens;
    QString run;
    auto flush = [&] {
        if (!run.isEmpty())
            tokens << run;
        run.clear();
    };
    for (QChar c : text) {
        if (isWide(c)) {
            flush();
            tokens << QString(c);
        } else if (c == QLatin1Char(' ')) {
            if (!run.isEmpty() && !run.endsWith(QLatin1Char(' ')))
                flush();
            run += c;
        } else {
            if (run.endsWith(QLatin1Char(' ')))
                flush();
            run += c;
        }
    }
    flush();
    return tokens;
}

} // namespace

Page::Page(QImage &image, const Spec &spec)
    : m_painter(&image), m_spec(spec), m_colors(palette(spec.theme)), m_random(seedOf(spec))
{
    m_painter.setRenderHint(QPainter::Antialiasing);
    m_painter.setRenderHint(QPainter::TextAntialiasing);
    const bool serif = spec.face == Face::notoSerifSC || spec.face == Face::notoSerifTC;
    if (m_random.bounded(2))
        m_latinFamily = serif ? QStringLiteral("DejaVu Serif") : QStringLiteral("DejaVu Sans");
    else
        m_latinFamily = serif ? QStringLiteral("Liberation Serif") : QStringLiteral("Liberation Sans");
    m_monospacedFamily = serif ? QStringLiteral("Liberation Mono") : QStringLiteral("DejaVu Sans Mono");
}

namespace {

// Qt keeps one font for a request whatever the families after the first, so the first screen
// drawn in a Chinese face would give its face to every later screen whose Latin face is the same.
// A style hint of each face's own (which changes nothing where the families have the glyphs)
// keeps the requests apart.
void keepFaceApart(QFont &font, Face face)
{
    switch (face) {
    case Face::wenQuanYi:
        font.setStyleHint(QFont::AnyStyle);
        break;
    case Face::notoSansSC:
        font.setStyleHint(QFont::SansSerif);
        break;
    case Face::notoSansTC:
        font.setStyleHint(QFont::System);
        break;
    case Face::notoSerifSC:
        font.setStyleHint(QFont::Serif);
        break;
    case Face::notoSerifTC:
        font.setStyleHint(QFont::Cursive);
        break;
    }
}

} // namespace

QFont Page::ui(int pixels, bool bold) const
{
    QFont font;
    font.setFamilies({m_latinFamily, family(m_spec.face)});
    keepFaceApart(font, m_spec.face);
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont Page::mono(int pixels) const
{
    QFont font;
    font.setFamilies({m_monospacedFamily, monospacedFamily(m_spec.face)});
    keepFaceApart(font, m_spec.face);
    font.setPixelSize(pixels);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

int Page::width(const QString &text, const QFont &font)
{
    return QFontMetrics(font).horizontalAdvance(text);
}

int Page::height(const QFont &font)
{
    return QFontMetrics(font).height();
}

QRect Page::draw(QPoint topLeft, const QString &text, const QFont &font, const QColor &color)
{
    const QFontMetrics metrics(font);
    m_painter.setFont(font);
    m_painter.setPen(color);
    m_painter.drawText(QPoint(topLeft.x(), topLeft.y() + metrics.ascent()), text);
    return QRect(topLeft, QSize(metrics.horizontalAdvance(text), metrics.height()));
}

QRect Page::drawRight(int right, int top, const QString &text, const QFont &font, const QColor &color)
{
    return draw(QPoint(right - width(text, font), top), text, font, color);
}

QRect Page::drawCentered(const QRect &area, const QString &text, const QFont &font, const QColor &color)
{
    const int x = area.left() + (area.width() - width(text, font)) / 2;
    const int y = area.top() + (area.height() - height(font)) / 2;
    return draw(QPoint(x, y), text, font, color);
}

QStringList Page::wrap(const QString &text, const QFont &font, int width)
{
    QStringList lines;
    QString line;
    for (const QString &token : breakableTokens(text)) {
        if (!line.isEmpty() && Page::width(line + token, font) > width && !token.startsWith(QLatin1Char(' '))) {
            lines << line.trimmed();
            line.clear();
        }
        if (line.isEmpty() && token.startsWith(QLatin1Char(' ')))
            continue;
        line += token;
    }
    if (!line.trimmed().isEmpty())
        lines << line.trimmed();
    return lines;
}

void Page::expect(const QString &text, const QRect &box)
{
    lines.push_back({text, box});
}

void Page::expect(const std::vector<Fragment> &fragments)
{
    QStringList parts;
    QRect box;
    for (const Fragment &fragment : fragments) {
        if (fragment.first.isEmpty())
            continue;
        parts << fragment.first;
        box = box.united(fragment.second);
    }
    if (!parts.isEmpty())
        lines.push_back({parts.join(QLatin1Char(' ')), box});
}

} // namespace TextScreens::detail
