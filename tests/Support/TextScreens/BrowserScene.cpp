// The browser scene: a tab strip whose active tab joins the toolbar below it, the address bar,
// a side list of versions and a release-notes page with a bulleted list.

#include "TextScreens/ScreenPage.h"
#include "TextScreens/ScreenTexts.h"

namespace TextScreens::detail {

namespace {

// A close cross of `size` pixels centred at `centre`, drawn with lines as browsers draw it.
void closeCross(QPainter &p, QPoint centre, int size, const QColor &colour)
{
    p.setPen(QPen(colour, 1.2));
    const int r = size / 2;
    p.drawLine(centre + QPoint(-r, -r), centre + QPoint(r, r));
    p.drawLine(centre + QPoint(-r, r), centre + QPoint(r, -r));
}

} // namespace

void drawBrowserScene(Page &page, const QRect &content)
{
    const Palette &c = page.colors();
    const Language language = page.spec().language;
    const int s = page.s();
    QPainter &p = page.painter();
    const QFont font = page.ui(s), small = page.ui(qMax(12, s - 2)), bold = page.ui(s * 3 / 2, true);

    // The tabs, the second or third of them active: its background is the toolbar's.
    const int stripHeight = s * 2 + 10, toolbarHeight = s * 5 / 2 + 8;
    p.fillRect(QRect(content.left(), content.top(), content.width(), stripHeight), c.sidebar);
    const QRect toolbar(content.left(), content.top() + stripHeight, content.width(), toolbarHeight);
    p.fillRect(toolbar, c.window);
    const int active = 1 + int(page.random().bounded(2));
    std::vector<Fragment> tabs;
    int x = content.left() + s / 2;
    for (int i = 0; i < int(Texts::browserTabs().size()); ++i) {
        const QString title = Texts::browserTabs()[i].in(language);
        const int width = Page::width(title, small) + 4 * s;
        const QRect tab(x, content.top() + 6, width, stripHeight - 6);
        if (i == active) {
            p.setPen(Qt::NoPen);
            p.setBrush(c.window);
            p.drawRoundedRect(tab.adjusted(0, 0, 0, 8), 8, 8);
        } else if (i + 1 != active) {
            p.fillRect(QRect(tab.right(), tab.top() + 6, 1, tab.height() - 12), c.separator);
        }
        tabs.emplace_back(title, page.draw(QPoint(tab.left() + s, tab.top() + (tab.height() - Page::height(small)) / 2), title, small,
                                           i == active ? c.text : c.secondary));
        closeCross(p, QPoint(tab.right() - s, tab.center().y()), qMax(6, s / 2), c.secondary);
        x += width + 2;
    }
    page.expect(tabs);

    // The address bar.
    const QRect address(toolbar.left() + 5 * s, toolbar.top() + 4, qMin(toolbar.width() - 10 * s, 50 * s), toolbarHeight - 8);
    p.setPen(c.fieldBorder);
    p.setBrush(c.field);
    p.drawRoundedRect(address, address.height() / 2, address.height() / 2);
    const QString url = QStringLiteral("https://example.org/kivaro/releases/v2.3.1");
    page.expect(url, page.draw(QPoint(address.left() + s, address.top() + (address.height() - Page::height(font)) / 2), url, font, c.text));
    p.fillRect(QRect(content.left(), toolbar.bottom(), content.width(), 1), c.separator);

    // The versions beside the page, the newest selected.
    const QRect pageArea(content.left(), toolbar.bottom() + 1, content.width(), content.bottom() - toolbar.bottom());
    p.fillRect(pageArea, c.window);
    const QRect side(pageArea.left(), pageArea.top(), qMin(12 * s, pageArea.width() / 5), pageArea.height());
    p.fillRect(side, c.sidebar);
    int y = side.top() + s;
    for (int i = 0; i < int(Texts::releaseVersions().size()); ++i, y += 2 * s) {
        const QRect row(side.left() + s / 2, y, side.width() - s, 2 * s);
        if (i == 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(c.accent);
            p.drawRoundedRect(row, 6, 6);
        }
        const QString version = Texts::releaseVersions()[i].in(language);
        page.expect(version, page.draw(QPoint(row.left() + s, row.top() + (row.height() - Page::height(font)) / 2), version, font,
                                       i == 0 ? c.onAccent : c.text));
    }

    // The release notes: heading, date and size, the bulleted items and the download button.
    const QRect column(side.right() + 3 * s, pageArea.top() + 2 * s, qMin(pageArea.right() - side.right() - 6 * s, 46 * s), pageArea.height() - 3 * s);
    y = column.top();
    const int firstTop = y;
    const QString heading = Texts::releaseHeading().in(language);
    page.expect(heading, page.draw(QPoint(column.left(), y), heading, bold, c.text));
    y += Page::height(bold) + s / 2;
    const QString meta = Texts::releaseMeta().in(language);
    page.expect(meta, page.draw(QPoint(column.left(), y), meta, small, c.secondary));
    y += Page::height(small) + s * 3 / 2;
    const int indent = s * 3 / 2, lineHeight = s * 7 / 4;
    const QString bullet = QString(QChar(0x2022));
    for (const auto &note : Texts::releaseNotes()) {
        const QStringList lines = Page::wrap(note.in(language), font, column.width() - indent);
        for (int i = 0; i < lines.size() && y + lineHeight <= column.bottom(); ++i, y += lineHeight) {
            const QRect text = page.draw(QPoint(column.left() + indent, y), lines[i], font, c.text);
            if (i == 0)
                page.expect({{bullet, page.draw(QPoint(column.left() + s / 4, y), bullet, font, c.text)}, {lines[i], text}});
            else
                page.expect(lines[i], text);
        }
        y += s / 2;
    }
    y += s;
    const QString download = Texts::downloadButton().in(language);
    const QRect button(column.left(), y, Page::width(download, font) + 2 * s, 2 * s);
    p.setPen(Qt::NoPen);
    p.setBrush(c.accent);
    p.drawRoundedRect(button, 6, 6);
    page.expect(download, page.drawCentered(button, download, font, c.onAccent));
    page.focus = QRect(column.left() - s, firstTop - s / 2, column.width() + 2 * s, button.bottom() - firstTop + s);
}

} // namespace TextScreens::detail
