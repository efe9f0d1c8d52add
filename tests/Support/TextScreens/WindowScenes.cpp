// The menu, dialog and settings scenes.

#include "TextScreens/ScreenPage.h"
#include "TextScreens/ScreenTexts.h"

namespace TextScreens::detail {

using Texts::Phrase;

namespace {

// A document paragraph wrapped into `area` from its top; returns the bottom of the last line.
int paragraph(Page &page, const QRect &area, const QString &text, const QFont &font, const QColor &color, int lineHeight)
{
    int y = area.top();
    for (const QString &line : Page::wrap(text, font, area.width())) {
        if (y + lineHeight > area.bottom())
            break;
        page.expect(line, page.draw(QPoint(area.left(), y), line, font, color));
        y += lineHeight;
    }
    return y;
}

// A list of names in a side bar, one per row; `selected` is drawn on the accent colour.
void sideList(Page &page, const QRect &bar, std::span<const Phrase> names, int selected, int rowHeight)
{
    const Palette &c = page.colors();
    const Language language = page.spec().language;
    const QFont font = page.ui(page.s());
    int y = bar.top() + page.s();
    for (int i = 0; i < int(names.size()) && y + rowHeight <= bar.bottom(); ++i, y += rowHeight) {
        const QRect row(bar.left() + page.s() / 2, y, bar.width() - page.s(), rowHeight);
        if (i == selected) {
            page.painter().setPen(Qt::NoPen);
            page.painter().setBrush(c.accent);
            page.painter().drawRoundedRect(row, 6, 6);
        }
        const QString name = names[i].in(language);
        const int top = row.top() + (rowHeight - Page::height(font)) / 2;
        page.expect(name, page.draw(QPoint(row.left() + page.s() * 3 / 4, top), name, font, i == selected ? c.onAccent : c.text));
    }
}

void button(Page &page, const QRect &box, const QString &title, bool primary, std::vector<Fragment> &row)
{
    const Palette &c = page.colors();
    page.painter().setPen(Qt::NoPen);
    page.painter().setBrush(primary ? c.accent : c.control);
    page.painter().drawRoundedRect(box, 6, 6);
    row.emplace_back(title, page.drawCentered(box, title, page.ui(page.s()), primary ? c.onAccent : c.text));
}

} // namespace

void drawMenuScene(Page &page, const QRect &content)
{
    const Palette &c = page.colors();
    const Language language = page.spec().language;
    const int s = page.s();
    QPainter &p = page.painter();
    const QFont font = page.ui(s);

    // The menu bar, its second item open.
    const int barHeight = s * 19 / 10;
    p.fillRect(QRect(content.left(), content.top(), content.width(), barHeight), c.sidebar);
    std::vector<Fragment> bar;
    int x = content.left() + s;
    int openX = x;
    for (int i = 0; i < int(Texts::menuBar().size()); ++i) {
        const QString title = Texts::menuBar()[i].in(language);
        const int width = Page::width(title, font);
        if (i == 1) {
            openX = x - s / 2;
            p.fillRect(QRect(openX, content.top() + 2, width + s, barHeight - 4), c.accent);
        }
        bar.emplace_back(title, page.draw(QPoint(x, content.top() + (barHeight - Page::height(font)) / 2), title, font,
                                          i == 1 ? c.onAccent : c.text));
        x += width + s * 6 / 5;
    }
    page.expect(bar);
    const QRect barBox = page.lines.back().box;

    const auto items = page.random().bounded(2) ? Texts::editMenu() : Texts::fileMenu();
    const int highlighted = int(page.random().bounded(int(items.size())));
    const QFont shortcutFont = page.ui(s);
    int titleWidth = 0, shortcutWidth = 0;
    for (const auto &item : items) {
        titleWidth = qMax(titleWidth, Page::width(item.title.in(language), font));
        shortcutWidth = qMax(shortcutWidth, Page::width(QString::fromUtf8(item.shortcut), shortcutFont));
    }
    const int itemHeight = s * 9 / 5, separatorHeight = s * 4 / 5, pad = s;
    int menuHeight = pad / 2;
    for (const auto &item : items)
        menuHeight += QLatin1String(item.shortcut) == QLatin1String("-") ? separatorHeight : itemHeight;
    menuHeight += pad / 2;
    const QRect menu(openX, content.top() + barHeight, titleWidth + shortcutWidth + 4 * s + 2 * pad, menuHeight);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawRoundedRect(menu.translated(0, 3).adjusted(-2, 0, 2, 2), 8, 8);
    p.setPen(c.menuBorder);
    p.setBrush(c.menu);
    p.drawRoundedRect(menu, 7, 7);
    int y = menu.top() + pad / 2;
    for (int i = 0; i < int(items.size()); ++i) {
        const auto &item = items[i];
        if (QLatin1String(item.shortcut) == QLatin1String("-")) {
            p.fillRect(QRect(menu.left() + pad / 2, y + separatorHeight / 2, menu.width() - pad, 1), c.separator);
            y += separatorHeight;
            continue;
        }
        const QRect row(menu.left() + 4, y, menu.width() - 8, itemHeight);
        if (i == highlighted) {
            p.setPen(Qt::NoPen);
            p.setBrush(c.accent);
            p.drawRoundedRect(row, 5, 5);
        }
        const int top = y + (itemHeight - Page::height(font)) / 2;
        const QString title = item.title.in(language);
        std::vector<Fragment> line{{title, page.draw(QPoint(menu.left() + pad, top), title, font, i == highlighted ? c.onAccent : c.text)}};
        if (*item.shortcut)
            line.emplace_back(QString::fromUtf8(item.shortcut), page.drawRight(menu.right() - pad, top, QString::fromUtf8(item.shortcut), shortcutFont,
                                                                                i == highlighted ? c.onAccent : c.secondary));
        page.expect(line);
        y += itemHeight;
    }
    // A capture of an open menu takes the menu bar with it.
    page.focus = menu.adjusted(-2, -2, 2, 4).united(barBox.adjusted(0, -s / 2, 0, 0));

    // The document under the menu, and the status line.
    const int statusHeight = s * 8 / 5 + 8;
    const QRect status(content.left(), content.bottom() - statusHeight + 1, content.width(), statusHeight);
    const QRect text(content.left() + 3 * s, menu.bottom() + 2 * s, qMin(content.width() - 6 * s, 60 * s), status.top() - menu.bottom() - 3 * s);
    paragraph(page, text, Texts::documentText().in(language), font, c.text, s * 8 / 5);
    p.fillRect(status, c.sidebar);
    p.fillRect(QRect(status.left(), status.top(), status.width(), 1), c.separator);
    const QString words = Texts::statusLine().in(language);
    const QFont small = page.ui(qMax(12, s - 2));
    page.expect(words, page.draw(QPoint(status.left() + s, status.top() + (statusHeight - Page::height(small)) / 2), words, small, c.secondary));
}

void drawDialogScene(Page &page, const QRect &content)
{
    const Palette &c = page.colors();
    const Language language = page.spec().language;
    const int s = page.s();
    QPainter &p = page.painter();

    // The window behind: a side bar of places, dimmed by the sheet.
    const QRect side(content.left(), content.top(), qMin(14 * s, content.width() / 4), content.height());
    p.fillRect(side, c.sidebar);
    sideList(page, side, Texts::places(), -1, s * 2);
    p.fillRect(content, c.dim);

    const auto &dialog = Texts::dialogs()[page.random().bounded(int(Texts::dialogs().size()))];
    const QFont font = page.ui(s), bold = page.ui(s + 2, true);
    const int width = qMin(34 * s, content.width() - side.width() - 8 * s);
    const int pad = s * 3 / 2, inner = width - 2 * pad, lineHeight = s * 3 / 2;
    const QStringList message = Page::wrap(dialog.message.in(language), font, inner);
    const int fieldHeight = s * 2;
    const int height = pad + Page::height(bold) + s + int(message.size()) * lineHeight + s + lineHeight + fieldHeight + s +
                       lineHeight + s * 3 / 2 + fieldHeight + pad;
    const int left = side.right() + (content.right() - side.right() - width) / 2;
    const QRect box(left, content.top() + qMax(s, (content.height() - height) / 3), width, height);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawRoundedRect(box.translated(0, 4), 12, 12);
    p.setPen(c.menuBorder);
    p.setBrush(c.window);
    p.drawRoundedRect(box, 12, 12);

    int y = box.top() + pad;
    const QString title = dialog.title.in(language);
    page.expect(title, page.draw(QPoint(box.left() + pad, y), title, bold, c.text));
    y += Page::height(bold) + s;
    for (const QString &line : message) {
        page.expect(line, page.draw(QPoint(box.left() + pad, y), line, font, c.text));
        y += lineHeight;
    }
    y += s;
    const QString label = dialog.fieldLabel.in(language);
    page.expect(label, page.draw(QPoint(box.left() + pad, y), label, font, c.secondary));
    y += lineHeight;
    const QRect field(box.left() + pad, y, inner, fieldHeight);
    p.setPen(c.fieldBorder);
    p.setBrush(c.field);
    p.drawRoundedRect(field, 5, 5);
    const QString placeholder = dialog.placeholder.in(language);
    page.expect(placeholder, page.draw(QPoint(field.left() + s / 2, field.top() + (fieldHeight - Page::height(font)) / 2), placeholder, font,
                                       c.placeholder));
    y += fieldHeight + s;
    const int check = s;
    p.setPen(c.fieldBorder);
    p.setBrush(c.field);
    p.drawRoundedRect(QRect(box.left() + pad, y + (lineHeight - check) / 2, check, check), 3, 3);
    const QString checkbox = dialog.checkbox.in(language);
    page.expect(checkbox, page.draw(QPoint(box.left() + pad + check + s / 2, y + (lineHeight - Page::height(font)) / 2), checkbox, font, c.text));
    y += lineHeight + s * 3 / 2;

    const QString secondary = dialog.secondary.in(language), primary = dialog.primary.in(language);
    const int primaryWidth = Page::width(primary, font) + 2 * s, secondaryWidth = Page::width(secondary, font) + 2 * s;
    std::vector<Fragment> buttons;
    button(page, QRect(box.right() - pad - primaryWidth - s - secondaryWidth, y, secondaryWidth, fieldHeight), secondary, false, buttons);
    button(page, QRect(box.right() - pad - primaryWidth, y, primaryWidth, fieldHeight), primary, true, buttons);
    page.expect(buttons);
    page.focus = box.adjusted(-2, -2, 2, 6);
}

void drawSettingsScene(Page &page, const QRect &content)
{
    const Palette &c = page.colors();
    const Language language = page.spec().language;
    const int s = page.s();
    QPainter &p = page.painter();

    const QRect side(content.left(), content.top(), qMin(15 * s, content.width() / 4), content.height());
    p.fillRect(side, c.sidebar);
    p.fillRect(QRect(side.right(), side.top(), 1, side.height()), c.separator);
    const int selected = int(page.random().bounded(3));
    sideList(page, side, Texts::settingsSections(), selected, s * 2);

    const QRect main(side.right() + 3 * s, content.top() + s * 3 / 2, content.right() - side.right() - 6 * s, content.height() - 3 * s);
    const QFont heading = page.ui(s + 6, true), font = page.ui(s), headerFont = page.ui(qMax(12, s - 1), true);
    const QString section = Texts::settingsSections()[selected].in(language);
    page.expect(section, page.draw(main.topLeft(), section, heading, c.text));

    const auto rows = Texts::settingsRows();
    int widths[3] = {0, 0, 0};
    for (int column = 0; column < 3; ++column)
        widths[column] = Page::width(Texts::settingsHeader(column).in(language), headerFont);
    for (const auto &row : rows) {
        widths[0] = qMax(widths[0], Page::width(row.name.in(language), font));
        widths[1] = qMax(widths[1], Page::width(row.value.in(language), font));
        widths[2] = qMax(widths[2], Page::width(row.note.in(language), font));
    }
    const int gap = 3 * s;
    const int columns[3] = {main.left() + s, main.left() + s + widths[0] + gap, main.left() + s + widths[0] + widths[1] + 2 * gap};
    const int tableWidth = qMin(main.width(), widths[0] + widths[1] + widths[2] + 2 * gap + 2 * s);
    const int rowHeight = s * 2 + 4;
    int y = main.top() + Page::height(heading) + s;
    const int tableTop = y;
    std::vector<Fragment> header;
    for (int column = 0; column < 3; ++column) {
        const QString title = Texts::settingsHeader(column).in(language);
        header.emplace_back(title, page.draw(QPoint(columns[column], y + (rowHeight - Page::height(headerFont)) / 2), title, headerFont, c.secondary));
    }
    page.expect(header);
    y += rowHeight;
    p.fillRect(QRect(main.left(), y - 1, tableWidth, 1), c.separator);
    for (int i = 0; i < int(rows.size()) && y + rowHeight <= main.bottom(); ++i, y += rowHeight) {
        if (i % 2 == 1)
            p.fillRect(QRect(main.left(), y, tableWidth, rowHeight), c.stripe);
        const int top = y + (rowHeight - Page::height(font)) / 2;
        const QString cells[3] = {rows[i].name.in(language), rows[i].value.in(language), rows[i].note.in(language)};
        page.expect({{cells[0], page.draw(QPoint(columns[0], top), cells[0], font, c.text)},
                     {cells[1], page.draw(QPoint(columns[1], top), cells[1], font, c.text)},
                     {cells[2], page.draw(QPoint(columns[2], top), cells[2], font, c.secondary)}});
    }
    page.focus = QRect(main.left(), tableTop, tableWidth, y - tableTop);
}

} // namespace TextScreens::detail
