// The chat, code and article scenes.

#include "TextScreens/ScreenPage.h"
#include "TextScreens/ScreenTexts.h"

#include <QRegularExpression>

namespace TextScreens::detail {

using Texts::Phrase;

void drawChatScene(Page &page, const QRect &content)
{
    const Palette &c = page.colors();
    const Language language = page.spec().language;
    const int s = page.s();
    QPainter &p = page.painter();
    const QFont font = page.ui(s), bold = page.ui(s, true), small = page.ui(qMax(12, s - 2));

    // The conversations: avatar, name and time, and the last message.
    const QRect list(content.left(), content.top(), qMin(18 * s, content.width() / 3), content.height());
    p.fillRect(list, c.sidebar);
    p.fillRect(QRect(list.right(), list.top(), 1, list.height()), c.separator);
    const int entryHeight = s * 4;
    const char *times[] = {"14:20", "13:05", "11:47", "09:12", "08:30"};
    int y = list.top() + s / 2;
    for (int i = 0; i < int(Texts::contacts().size()) && y + entryHeight <= list.bottom(); ++i, y += entryHeight) {
        if (i == 0)
            p.fillRect(QRect(list.left(), y, list.width() - 1, entryHeight), c.control);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromHsv((i * 67 + 20) % 360, 120, 210));
        const int avatar = s * 5 / 2;
        p.drawEllipse(QRect(list.left() + s / 2, y + (entryHeight - avatar) / 2, avatar, avatar));
        const int textLeft = list.left() + s + avatar;
        const int top = y + (entryHeight - Page::height(bold) - Page::height(small) - s / 4) / 2;
        const QString name = Texts::contacts()[i].in(language), time = QString::fromLatin1(times[i]);
        page.expect({{name, page.draw(QPoint(textLeft, top), name, bold, c.text)},
                     {time, page.drawRight(list.right() - s / 2, top + 1, time, small, c.secondary)}});
        const QString preview = Texts::contactPreviews()[i].in(language);
        page.expect(preview, page.draw(QPoint(textLeft, top + Page::height(bold) + s / 4), preview, small, c.secondary));
    }

    // The conversation: its title, messages and the input line.
    const QRect pane(list.right() + 1, content.top(), content.right() - list.right(), content.height());
    p.fillRect(pane, c.chatPane);
    const int headerHeight = s * 3;
    p.fillRect(QRect(pane.left(), pane.top(), pane.width(), headerHeight), c.window);
    p.fillRect(QRect(pane.left(), pane.top() + headerHeight, pane.width(), 1), c.separator);
    const QString contact = Texts::contacts()[0].in(language);
    page.expect(contact, page.drawCentered(QRect(pane.left(), pane.top(), pane.width(), headerHeight), contact, bold, c.text));

    const int inputHeight = s * 3 + 8;
    const QRect input(pane.left(), pane.bottom() - inputHeight + 1, pane.width(), inputHeight);
    const int bubbleWidth = qMin(pane.width() * 3 / 5, 26 * s), pad = s * 2 / 3, lineHeight = s * 3 / 2;
    y = pane.top() + headerHeight + s;
    const QString when = Texts::yesterday().in(language);
    const QRect whenBox = page.drawCentered(QRect(pane.left(), y, pane.width(), Page::height(small)), when, small, c.secondary);
    page.expect(when, whenBox);
    const int messagesTop = whenBox.top();
    y += Page::height(small) + s;
    int messagesBottom = y;
    for (const auto &message : Texts::conversation()) {
        const QStringList lines = Page::wrap(message.text.in(language), font, bubbleWidth - 2 * pad);
        int textWidth = 0;
        for (const QString &line : lines)
            textWidth = qMax(textWidth, Page::width(line, font));
        const int height = int(lines.size()) * lineHeight + 2 * pad - (lineHeight - Page::height(font));
        if (y + height > input.top() - s)
            break;
        const int width = textWidth + 2 * pad;
        const int left = message.mine ? pane.right() - s - width : pane.left() + s;
        p.setPen(Qt::NoPen);
        p.setBrush(message.mine ? c.bubbleMine : c.bubbleOther);
        p.drawRoundedRect(QRect(left, y, width, height), 10, 10);
        int lineTop = y + pad;
        for (const QString &line : lines) {
            page.expect(line, page.draw(QPoint(left + pad, lineTop), line, font, message.mine ? c.onBubbleMine : c.onBubbleOther));
            lineTop += lineHeight;
        }
        messagesBottom = y + height;
        y += height + s;
    }
    page.focus = QRect(pane.left() + s / 2, messagesTop - s / 2, pane.width() - s, messagesBottom - messagesTop + s);

    p.fillRect(input, c.window);
    p.fillRect(QRect(input.left(), input.top(), input.width(), 1), c.separator);
    const QString send = Texts::chatSend().in(language), placeholder = Texts::chatPlaceholder().in(language);
    const int sendWidth = Page::width(send, font) + 2 * s;
    const QRect field(input.left() + s, input.top() + s / 2 + 4, input.width() - 3 * s - sendWidth, s * 2);
    p.setPen(c.fieldBorder);
    p.setBrush(c.field);
    p.drawRoundedRect(field, s, s);
    std::vector<Fragment> row{{placeholder, page.draw(QPoint(field.left() + s, field.top() + (field.height() - Page::height(font)) / 2), placeholder,
                                                      font, c.placeholder)}};
    const QRect sendBox(field.right() + s, field.top(), sendWidth, field.height());
    p.setPen(Qt::NoPen);
    p.setBrush(c.accent);
    p.drawRoundedRect(sendBox, s, s);
    row.emplace_back(send, page.drawCentered(sendBox, send, font, c.onAccent));
    page.expect(row);
}

namespace {

// Draws one source line in colour: keywords, strings, numbers and the comment.
QRect drawCode(Page &page, QPoint at, const QString &code, const QString &comment, const QFont &font)
{
    static const QRegularExpression token(QStringLiteral(
        R"(("(?:[^"\\]|\\.)*"|'(?:[^'\\]|\\.)*')|(\b(?:include|int|char|const|struct|return|if|while|for|in|continue|def|import|sizeof)\b|#include|NULL)|(\b\d+\b)|([^"'\w#]+|\w+|#|.))"));
    const Palette &c = page.colors();
    QRect box(at, QSize(0, Page::height(font)));
    int x = at.x();
    auto run = [&](const QString &text, const QColor &color) {
        const QRect drawn = page.draw(QPoint(x, at.y()), text, font, color);
        box = box.united(drawn);
        x = drawn.right() + 1;
    };
    // The comment marker ends the code part; it takes the comment's colour.
    qsizetype marker = code.size();
    if (!comment.isEmpty())
        marker = qMax(code.lastIndexOf(QStringLiteral("//")), code.lastIndexOf(QLatin1Char('#')));
    for (auto match = token.globalMatch(code.left(marker)); match.hasNext();) {
        const auto m = match.next();
        if (m.capturedLength(1))
            run(m.captured(1), c.string);
        else if (m.capturedLength(2))
            run(m.captured(2), c.keyword);
        else if (m.capturedLength(3))
            run(m.captured(3), c.string);
        else
            run(m.captured(4), c.text);
    }
    if (!comment.isEmpty())
        run(code.mid(marker) + comment, c.comment);
    return box;
}

} // namespace

void drawCodeScene(Page &page, const QRect &content)
{
    const Palette &c = page.colors();
    const Language language = page.spec().language;
    const int s = page.s();
    QPainter &p = page.painter();
    const bool python = page.random().bounded(2);
    const auto source = python ? Texts::pythonSource() : Texts::cSource();
    const QFont code = page.mono(s), font = page.ui(qMax(12, s - 1));

    const int tabHeight = s * 2 + 6;
    p.fillRect(QRect(content.left(), content.top(), content.width(), tabHeight), c.sidebar);
    const QStringList tabs = python ? QStringList{QStringLiteral("summary.py"), QStringLiteral("README.md")}
                                    : QStringList{QStringLiteral("config.c"), QStringLiteral("config.h"), QStringLiteral("README.md")};
    std::vector<Fragment> tabRow;
    int x = content.left();
    for (int i = 0; i < tabs.size(); ++i) {
        const int width = Page::width(tabs[i], font) + 3 * s;
        const QRect tab(x, content.top(), width, tabHeight);
        p.fillRect(tab, i == 0 ? c.code : c.sidebar);
        p.fillRect(QRect(tab.right(), tab.top(), 1, tab.height()), c.separator);
        tabRow.emplace_back(tabs[i], page.drawCentered(tab, tabs[i], font, i == 0 ? c.text : c.secondary));
        x += width;
    }
    page.expect(tabRow);

    const int statusHeight = s * 3 / 2 + 6;
    const QRect status(content.left(), content.bottom() - statusHeight + 1, content.width(), statusHeight);
    const QRect editor(content.left(), content.top() + tabHeight, content.width(), status.top() - content.top() - tabHeight);
    p.fillRect(editor, c.code);
    const int gutter = Page::width(QStringLiteral("000"), code) + 2 * s;
    const int lineHeight = s * 3 / 2;
    int y = editor.top() + s / 2;
    const int top = y;
    for (int i = 0; i < int(source.size()) && y + lineHeight <= editor.bottom(); ++i, y += lineHeight) {
        const QString number = QString::number(i + 1);
        const int textTop = y + (lineHeight - Page::height(code)) / 2;
        std::vector<Fragment> line{{number, page.drawRight(editor.left() + gutter - s, textTop, number, code, c.gutter)}};
        const QString text = QString::fromUtf8(source[i].code);
        const QString comment = source[i].comment ? source[i].comment->in(language) : QString();
        if (!text.trimmed().isEmpty() || !comment.isEmpty()) {
            const QRect box = drawCode(page, QPoint(editor.left() + gutter, textTop), text, comment, code);
            line.emplace_back(QString(text + comment).simplified(), box.adjusted(Page::width(text.left(text.size() - text.trimmed().size()), code), 0, 0, 0));
        }
        page.expect(line);
    }
    page.focus = QRect(editor.left(), top - s / 4, editor.width() * 3 / 4, y - top + s / 2);

    p.fillRect(status, c.statusBar);
    const QFont statusFont = page.ui(qMax(12, s - 2));
    const QString position = Texts::editorPosition().in(language);
    const int textTop = status.top() + (statusHeight - Page::height(statusFont)) / 2;
    page.expect({{position, page.draw(QPoint(status.left() + s, textTop), position, statusFont, c.onStatusBar)},
                 {QStringLiteral("UTF-8"), page.drawRight(status.right() - 6 * s, textTop, QStringLiteral("UTF-8"), statusFont, c.onStatusBar)},
                 {python ? QStringLiteral("Python") : QStringLiteral("C"),
                  page.drawRight(status.right() - s, textTop, python ? QStringLiteral("Python") : QStringLiteral("C"), statusFont, c.onStatusBar)}});
}

void drawArticleScene(Page &page, const QRect &content)
{
    const Palette &c = page.colors();
    const Language language = page.spec().language;
    const int s = page.s();
    QPainter &p = page.painter();
    const QFont font = page.ui(s), headline = page.ui(s * 8 / 5, true), small = page.ui(qMax(12, s - 2)), side = page.ui(qMax(12, s - 1));

    // The address bar.
    const int barHeight = s * 3;
    p.fillRect(QRect(content.left(), content.top(), content.width(), barHeight), c.sidebar);
    const QRect address(content.left() + 6 * s, content.top() + s / 2, qMin(content.width() - 12 * s, 50 * s), barHeight - s);
    p.setPen(c.fieldBorder);
    p.setBrush(c.field);
    p.drawRoundedRect(address, address.height() / 2, address.height() / 2);
    const QString url = QStringLiteral("https://news.example.org/2024/03/night-bus");
    page.expect(url, page.draw(QPoint(address.left() + s, address.top() + (address.height() - Page::height(font)) / 2), url, font, c.secondary));

    // The article column and the related links beside it.
    const int columnWidth = qMin(content.width() * 3 / 5, 44 * s);
    const QRect column(content.left() + 4 * s, content.top() + barHeight + 2 * s, columnWidth, content.height() - barHeight - 3 * s);
    int y = column.top();
    const int firstTop = y;
    for (const QString &line : Page::wrap(Texts::articleHeadline().in(language), headline, column.width())) {
        page.expect(line, page.draw(QPoint(column.left(), y), line, headline, c.text));
        y += Page::height(headline) + s / 3;
    }
    y += s / 2;
    const QString byline = Texts::articleByline().in(language);
    page.expect(byline, page.draw(QPoint(column.left(), y), byline, small, c.secondary));
    y += Page::height(small) + s * 3 / 2;
    const int lineHeight = s * 7 / 4;
    int bottom = y;
    for (const auto &paragraph : Texts::articleParagraphs()) {
        for (const QString &line : Page::wrap(paragraph.in(language), font, column.width())) {
            if (y + lineHeight > column.bottom())
                break;
            page.expect(line, page.draw(QPoint(column.left(), y), line, font, c.text));
            bottom = y + Page::height(font);
            y += lineHeight;
        }
        y += s;
    }
    page.focus = QRect(column.left() - s, firstTop - s / 2, column.width() + 2 * s, bottom - firstTop + s);

    const int sideLeft = column.right() + 5 * s;
    if (sideLeft + 10 * s > content.right())
        return;
    y = column.top() + s / 2;
    const QString heading = Texts::relatedHeading().in(language);
    page.expect(heading, page.draw(QPoint(sideLeft, y), heading, page.ui(s, true), c.text));
    y += Page::height(font) + s;
    for (const auto &link : Texts::relatedLinks()) {
        const QString title = link.in(language);
        page.expect(title, page.draw(QPoint(sideLeft, y), title, side, c.link));
        y += s * 2;
    }
}

} // namespace TextScreens::detail
