// The recogniser's steps without the engine: finding text lines and their backgrounds, drawing
// them dark on white, telling Simplified from Traditional by the ink, tidying the engine's
// spacing, and the reading order.

#include "TellumoCore/internal/InkSegmentation.h"
#include "TellumoCore/internal/LineImages.h"
#include "TellumoCore/internal/ReadingOrder.h"
#include "TellumoCore/internal/RecognitionPipeline.h"
#include "TellumoCore/internal/ScriptEvidence.h"
#include "TellumoCore/internal/TextLines.h"

#include <QFont>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

using namespace Tellumo::detail;

namespace {

QFont uiFont(int pixels, bool bold = false, const QString &chinese = QStringLiteral("WenQuanYi Micro Hei"))
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), chinese});
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

struct Drawing {
    QImage image;
    QPainter painter;

    Drawing(QSize size, QColor background) : image(size, QImage::Format_RGB32)
    {
        image.fill(background);
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
    }
    void text(QPoint baseline, const QString &text, const QFont &font, QColor color)
    {
        painter.setFont(font);
        painter.setPen(color);
        painter.drawText(baseline, text);
    }
    QImage done()
    {
        painter.end();
        return image;
    }
};

std::vector<int> lineOfGlyphs(const InkSegmentation &ink, const std::vector<TextLine> &lines)
{
    std::vector<int> lineOf(ink.glyphs().size(), -1);
    for (int i = 0; i < int(lines.size()); ++i)
        for (int glyph : lines[size_t(i)].glyphs)
            lineOf[size_t(glyph)] = i;
    return lineOf;
}

// One symbol a character, without boxes: what the ink comparison needs of a reading.
std::vector<OcrSymbol> symbolsOf(const QString &text)
{
    std::vector<OcrSymbol> symbols;
    for (QChar c : text)
        symbols.push_back({QString(c), {}});
    return symbols;
}

} // namespace

TEST(TextLineFinding, WordsJoinButTableCellsAndShapesStayApart)
{
    Drawing d({900, 200}, Qt::white);
    // Monospaced code: spaces wider than the lower-case letters are tall.
    QFont mono;
    mono.setFamily(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(16);
    d.text({20, 40}, QStringLiteral("int count = parse_entry(line, &out[count]);"), mono, Qt::black);
    // Two cells of a table row three text heights apart, and a line whose dots float above it.
    d.text({20, 100}, QStringLiteral("设备名称"), uiFont(16), Qt::black);
    d.text({20 + 64 + 48, 100}, QStringLiteral("Kivaro-Desktop"), uiFont(16), Qt::black);
    d.text({20, 160}, QStringLiteral("设计稿已经发到群里了"), uiFont(20), Qt::black);
    // A button's rounded rim and an avatar: edges between two backgrounds, not text.
    d.painter.setBrush(QColor(10, 110, 230));
    d.painter.setPen(Qt::NoPen);
    d.painter.drawRoundedRect(QRect(600, 70, 120, 36), 8, 8);
    d.painter.setBrush(QColor(220, 120, 80));
    d.painter.drawEllipse(QRect(780, 130, 40, 40));
    const InkSegmentation ink(d.done());
    const std::vector<TextLine> lines = findTextLines(ink);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_GT(lines[0].box.width(), 400) << "the code line is one line";
    EXPECT_LT(lines[1].box.right(), lines[2].box.left()) << "the two cells are two lines";
    EXPECT_GT(lines[3].box.width(), 180) << "the characters and their dots are one line";
    for (const TextLine &line : lines)
        EXPECT_LT(line.box.right(), 600) << "nothing of the button or the avatar";
}

// A word on a dark pane, in white on a blue button and in black on white is drawn the same way
// for the engine: dark strokes on white, whatever its colours.
TEST(TextLineFinding, EveryPolarityIsDrawnDarkOnWhite)
{
    const QString word = QStringLiteral("截图识字 OCR");
    const QColor pairs[][2] = {{Qt::white, Qt::black}, {QColor(0x1E1E1E), QColor(0xE8E8ED)}, {QColor(0x0A6FE0), Qt::white},
                               {QColor(0x95EC69), QColor(0x111111)}};
    std::vector<QImage> pictures;
    for (const auto &pair : pairs) {
        Drawing d({260, 60}, pair[0]);
        d.text({16, 40}, word, uiFont(20), pair[1]);
        const InkSegmentation ink(d.done());
        const std::vector<TextLine> lines = findTextLines(ink);
        ASSERT_EQ(lines.size(), 1u);
        pictures.push_back(lineImage(ink, lines[0], lineOfGlyphs(ink, lines), 0, {}));
    }
    const QImage &reference = pictures[0];
    EXPECT_GE(reference.height(), kReadingHeight) << "scaled up to the reading height";
    for (const QImage &picture : pictures) {
        ASSERT_EQ(picture.size(), reference.size());
        double difference = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                difference += std::abs(int(picture.constScanLine(y)[x]) - int(reference.constScanLine(y)[x]));
        EXPECT_LT(difference / (picture.width() * picture.height()), 6.0);
        EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::white)) << "the margin is white";
    }
}

TEST(ScriptEvidence, TheInkTellsTraditionalFromSimplified)
{
    const QString simplified = QStringLiteral("会议记录设计稿"), traditional = QStringLiteral("會議記錄設計稿");
    // In each of the Chinese faces the screens are drawn in, at a body size and a title size.
    for (const char *face : {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans CJK TC"}) {
        for (int pixels : {32, 48}) {
            for (bool printedTraditional : {false, true}) {
                Drawing d({30 * pixels / 2 + 20, 2 * pixels}, Qt::white);
                d.text({10, pixels * 4 / 3}, printedTraditional ? traditional : simplified, uiFont(pixels, false, QLatin1String(face)), Qt::black);
                const QImage line = d.done().convertToFormat(QImage::Format_Grayscale8);
                const ScriptEvidence evidence = compareScripts(line, symbolsOf(simplified), symbolsOf(traditional));
                EXPECT_GE(evidence.positions, 5) << face << ' ' << pixels;
                EXPECT_EQ(evidence.traditional > 0, printedTraditional) << face << ' ' << pixels << ": " << evidence.traditional;
            }
        }
    }
    // A reading that makes two characters of one (記 as 言己) still tells on the others, and
    // readings with nothing in common tell nothing.
    Drawing d({420, 60}, Qt::white);
    d.text({10, 42}, traditional, uiFont(32), Qt::black);
    const QImage line = d.done().convertToFormat(QImage::Format_Grayscale8);
    const ScriptEvidence split = compareScripts(line, symbolsOf(simplified), symbolsOf(QStringLiteral("會議言己錄設計稿")));
    EXPECT_GE(split.positions, 3);
    EXPECT_GT(split.traditional, 0);
    EXPECT_EQ(compareScripts(line, symbolsOf(QStringLiteral("abc")), symbolsOf(QStringLiteral("xyz"))).positions, 0);
}

// Forms with about as much ink as each other (谢 and 謝, 没 and 沒) are told apart by their shapes.
TEST(ScriptEvidence, FormsWithAsMuchInkAreToldByTheirShapes)
{
    const QString simplified = QStringLiteral("好的谢谢没"), traditional = QStringLiteral("好的謝謝沒");
    for (const char *face : {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans CJK TC"}) {
        for (int pixels : {32, 48}) {
            for (bool printedTraditional : {false, true}) {
                Drawing d({6 * pixels + 20, 2 * pixels}, Qt::white);
                d.text({10, pixels * 4 / 3}, printedTraditional ? traditional : simplified, uiFont(pixels, false, QLatin1String(face)), Qt::black);
                const ScriptEvidence evidence = compareScripts(d.done().convertToFormat(QImage::Format_Grayscale8), symbolsOf(simplified), symbolsOf(traditional));
                EXPECT_GE(evidence.positions, 2) << face << ' ' << pixels;
                EXPECT_EQ(evidence.traditional > 0, printedTraditional) << face << ' ' << pixels << ": " << evidence.traditional;
            }
        }
    }
}

TEST(EngineText, SpacesBetweenChineseCharactersGoAndStraySymbolsAreMended)
{
    EXPECT_EQ(tidyChineseSpacing(QStringLiteral("截 图 识 字 Kivaro 2024 年 ， 好")), QStringLiteral("截图识字 Kivaro 2024 年，好"));
    EXPECT_EQ(replaceStrayLookalikes(QStringLiteral("Ctrl十C Shift十Ctrl十Z a一b")), QStringLiteral("Ctrl+C Shift+Ctrl+Z a-b"));
    EXPECT_EQ(replaceStrayLookalikes(QStringLiteral("第十章 十 一二三")), QStringLiteral("第十章 十 一二三")) << "real Chinese stays";
}

namespace {

// A screen of backgrounds (their bounds and sizes) and lines placed on them.
struct Layout {
    std::vector<BackgroundRegion> regions;
    std::vector<PlacedText> texts;

    int region(QRect box)
    {
        regions.push_back({box, qint64(box.width()) * box.height()});
        return int(regions.size()) - 1;
    }
    // A line of `height` whose glyphs stand on `baseline`, `width` wide from `left`.
    void line(const QString &text, int left, int baseline, int width, int region, int height = 16)
    {
        texts.push_back({QRect(left, baseline - height + 3, width, height), text, region, baseline});
    }
    QStringList order() const { return readingOrder(texts, regions); }
};

} // namespace

// Punctuation and small marks as the Chinese model reads them, mended by their neighbours.
TEST(EngineText, PunctuationFollowsTheScriptOfItsNeighboursAndMarksOfControlsGo)
{
    const std::pair<const char *, const char *> spaced[] = {
        {"季度报告.txt 一 文本编辑器", "季度报告.txt — 文本编辑器"},
        {"本报记者 刘洋 。 2024年3月14日", "本报记者 刘洋 · 2024年3月14日"},
        {"By Liu Yang 。 March 14", "By Liu Yang · March 14"},
        {"一 个 人", "一 个 人"}, // 一 between Chinese characters stays a character
        {"well-known", "well-known"},
    };
    for (const auto &[read, meant] : spaced)
        EXPECT_EQ(spacedMarks(QString::fromUtf8(read)), QString::fromUtf8(meant)) << read;
    const std::pair<const char *, const char *> cases[] = {
        {"好的, 明天见", "好的，明天见"},
        {"你确定吗?", "你确定吗？"},
        {"保存 , 然后关闭.", "保存，然后关闭。"},
        {"1，2，3", "1,2,3"},
        {"Hello。World", "Hello.World"},
        {"我用 Kivaro。", "我用 Kivaro。"},
        {"版本 12.4", "版本 12.4"},
        {"时间 14:32", "时间 14:32"},
        {"|nternet and |t works", "Internet and It works"},
        {"a | b", "a | b"},
        {"复制| Ctrl+C", "复制 Ctrl+C"},
        {"设计稿 x", "设计稿"},
        {"Inbox x Drafts X", "Inbox Drafts"},
        {"1920 x 1080", "1920 x 1080"},
        {"® 设置", "设置"},
        {"© Kivaro", "Kivaro"},
        {"© 2024 Kivaro", "© 2024 Kivaro"},
        {"打开文件...", "打开文件…"},
        {"字数: 1,024", "字数：1,024"},
        {"会议纪要: Q3 销售额", "会议纪要：Q3 销售额"},
        {"报告.txt 已保存", "报告.txt 已保存"},
        {"开启档案.…", "开启档案…"},
        {"Open File...", "Open File..."},
        {"好的。", "好的。"},
    };
    for (const auto &[read, meant] : cases)
        EXPECT_EQ(punctuationOfItsNeighbours(QString::fromUtf8(read)), QString::fromUtf8(meant)) << read;
}

// A menu's shortcut column as the engine misreads small text; words that only look alike stay.
TEST(EngineText, ShortcutsGetTheirModifierNamesBack)
{
    const std::pair<const char *, const char *> cases[] = {
        {"Ctri+S", "Ctrl+S"},
        {"Shift+Ctril+Z", "Shift+Ctrl+Z"},
        {"AIt+CtrI+V", "Alt+Ctrl+V"},
        {"Ctr|+F4", "Ctrl+F4"},
        {"CtrFI+P", "Ctrl+P"},
        {"Ctri-+,", "Ctrl+,"},
        {"Ctrl++", "Ctrl++"},
        {"复制 Ctri+C", "复制 Ctrl+C"},
        {"Salt+Pepper", "Salt+Pepper"},
        {"C++ 1+1 a+b", "C++ 1+1 a+b"},
        {"Cat+S", "Cat+S"},
    };
    for (const auto &[read, meant] : cases)
        EXPECT_EQ(keyChords(QString::fromUtf8(read)), QString::fromUtf8(meant)) << read;
    EXPECT_TRUE(isKeyChordLine(QStringLiteral("Shift+Ctril+S")));
    EXPECT_TRUE(isKeyChordLine(QStringLiteral("Ctrl+K Ctrl+S")));
    EXPECT_FALSE(isKeyChordLine(QStringLiteral("FH: 1,024")));
    EXPECT_FALSE(isKeyChordLine(QStringLiteral("Save Ctrl+S")));
    EXPECT_FALSE(isKeyChordLine(QString()));
}

// An issue number as the English model misreads its digits; words that only hold a number sign
// stay.
TEST(EngineText, AnIssueNumberGetsItsDigitsBack)
{
    const std::pair<const char *, const char *> cases[] = {
        {"Known issue #i301", "Known issue #1301"},
        {"(#12O4)", "(#1204)"},
        {"#l23", "#123"},
        {"#1234", "#1234"},
        {"#include", "#include"},
        {"#if 0", "#if 0"},
        {"C# 12", "C# 12"},
        {"#lol", "#lol"},
    };
    for (const auto &[read, meant] : cases)
        EXPECT_EQ(issueNumbers(QString::fromUtf8(read)), QString::fromUtf8(meant)) << read;
}

// A word whose characters are made of parts stacked with a gap between them is one line (the
// labels of a settings table); lines one above the other stay apart.
// The boxes of a glyph and of a background hold every pixel of theirs, also the ones left of
// and above where a row-by-row scan first meets them: a stroke running down to the left, a pane
// shaped like an L whose top part starts right of its bottom part.
TEST(InkAnalysis, TheBoxesOfGlyphsAndBackgroundsHoldAllTheirPixels)
{
    QImage image(200, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRgb pane = qRgb(0xE0, 0xE0, 0xE0);
    for (const QRect &part : {QRect(100, 10, 90, 40), QRect(20, 50, 170, 60)})
        for (int y = part.top(); y <= part.bottom(); ++y)
            for (int x = part.left(); x <= part.right(); ++x)
                image.setPixel(x, y, pane);
    for (int k = 0; k <= 20; ++k) {
        image.setPixel(60 - k, 20 + k, qRgb(0, 0, 0));
        image.setPixel(61 - k, 20 + k, qRgb(0, 0, 0));
    }
    const InkSegmentation ink(image);
    const int stroke = ink.glyphAt(50, 30);
    ASSERT_GE(stroke, 0);
    EXPECT_EQ(ink.glyphs()[size_t(stroke)].box, QRect(QPoint(40, 20), QPoint(61, 40)));
    EXPECT_EQ(ink.glyphs()[size_t(stroke)].pixels, 42);
    std::vector<QRect> boxes;
    std::vector<qint64> pixels;
    for (const BackgroundRegion &region : ink.regions()) {
        boxes.push_back(region.box);
        pixels.push_back(region.pixels);
    }
    EXPECT_EQ(boxes, (std::vector<QRect>{QRect(0, 0, 200, 120), QRect(QPoint(20, 10), QPoint(189, 109))}));
    EXPECT_EQ(pixels, (std::vector<qint64>{200 * 120 - 90 * 40 - 170 * 60 - 42, 90 * 40 + 170 * 60}));
}

TEST(TextLineFinding, StackedPartsOfCharactersMakeOneLine)
{
    const QStringList labels = {QStringLiteral("裝置名稱"), QStringLiteral("語言"), QStringLiteral("自動更新"),
                                QStringLiteral("時區"),     QStringLiteral("言"),   QStringLiteral("藍牙")};
    for (const char *face : {"WenQuanYi Micro Hei", "Noto Sans CJK TC"}) {
        Drawing d({200, 40 + 30 * int(labels.size())}, QColor(0x1E, 0x1E, 0x1E));
        for (int i = 0; i < labels.size(); ++i)
            d.text({20, 40 + 30 * i}, labels[i], uiFont(16, false, QLatin1String(face)), Qt::white);
        const InkSegmentation analysed(d.done());
        const std::vector<TextLine> lines = findTextLines(analysed);
        ASSERT_EQ(lines.size(), size_t(labels.size())) << face;
        for (const TextLine &line : lines)
            EXPECT_GE(line.box.height(), 9) << face << ": " << line.box.y();
    }
}

// A check box before its label and a close cross after a tab's title are no part of the line;
// a square character of the text is.
TEST(TextLineFinding, AFaintCheckBoxOrCloseCrossAtALinesEndIsLeftOut)
{
    for (QColor ink : {QColor(Qt::black), QColor(Qt::white)}) {
        const QColor background = ink == Qt::black ? QColor(Qt::white) : QColor(0x1E, 0x1E, 0x1E);
        const QColor faint = ink == Qt::black ? QColor(0xC7, 0xC7, 0xCC) : QColor(0x48, 0x48, 0x4A);
        Drawing d({420, 80}, background);
        d.painter.setPen(faint);
        d.painter.setBrush(Qt::NoBrush);
        d.painter.drawRoundedRect(QRect(20, 22, 18, 18), 3, 3);
        d.text({48, 38}, QStringLiteral("不再询问"), uiFont(18), ink);
        d.text({200, 38}, QStringLiteral("口号"), uiFont(18), ink);
        d.painter.setPen(faint);
        d.painter.drawLine(QPoint(244, 24), QPoint(256, 36));
        d.painter.drawLine(QPoint(256, 24), QPoint(244, 36));
        const InkSegmentation analysed(d.done());
        const std::vector<TextLine> lines = findTextLines(analysed);
        ASSERT_FALSE(lines.empty());
        for (const TextLine &line : lines) {
            EXPECT_GT(line.box.left(), 40) << "the check box is left out";
            EXPECT_LT(line.box.right(), 243) << "the cross is left out";
        }
        // 口 in the text keeps its place: the second word starts the second line or lies in it.
        const bool squareKept = std::any_of(lines.begin(), lines.end(), [](const TextLine &line) { return line.box.left() <= 202 && line.box.right() >= 210; });
        EXPECT_TRUE(squareKept);
    }
}

TEST(ReadingOrder, ATableIsReadRowByRowAfterTheSideBarBesideIt)
{
    Layout l;
    const int screen = l.region({0, 0, 1000, 600});
    const int side = l.region({0, 0, 200, 600});
    const int main = l.region({201, 0, 799, 600});
    (void)screen;
    for (int i = 0; i < 4; ++i)
        l.line(QStringLiteral("分区%1").arg(i), 20, 40 + 32 * i, 60, side);
    for (int row = 0; row < 5; ++row) {
        // Cells a little higher or lower than each other: ascenders, Chinese below the baseline.
        l.line(QStringLiteral("名称%1").arg(row), 240, 60 + 36 * row + (row % 2), 70, main);
        l.line(QStringLiteral("值%1").arg(row), 420, 60 + 36 * row, 90, main, 13);
        l.line(QStringLiteral("说明%1").arg(row), 600, 60 + 36 * row - (row % 3 == 0), 120, main);
    }
    const QStringList order = l.order();
    ASSERT_EQ(order.size(), 9);
    EXPECT_EQ(order[0], QStringLiteral("分区0"));
    EXPECT_EQ(order[3], QStringLiteral("分区3"));
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(order[4 + row], QStringLiteral("名称%1 值%1 说明%1").arg(row));
}

TEST(ReadingOrder, AnArticleIsReadBeforeTheLinksBesideItEvenWhenSomeLinesHappenToAlign)
{
    Layout l;
    const int page = l.region({0, 0, 1200, 700});
    // Prose at a pitch of 31.5 pixels, links at 36: a few pairs meet by chance.
    for (int i = 0; i < 8; ++i)
        l.line(QStringLiteral("prose %1").arg(i), 100, 100 + int(31.5 * i), i == 3 || i == 7 ? 300 : 700, page, 21);
    for (int i = 0; i < 5; ++i)
        l.line(QStringLiteral("link %1").arg(i), 900, 100 + 36 * i, 180, page, 17);
    QStringList expected;
    for (int i = 0; i < 8; ++i)
        expected << QStringLiteral("prose %1").arg(i);
    for (int i = 0; i < 5; ++i)
        expected << QStringLiteral("link %1").arg(i);
    EXPECT_EQ(l.order(), expected);
}

TEST(ReadingOrder, ChatBubblesOnBothSidesAreReadTopToBottom)
{
    Layout l;
    const int pane = l.region({0, 0, 1000, 800});
    QStringList expected;
    for (int i = 0; i < 6; ++i) {
        const bool mine = i % 2;
        const QRect bubble(mine ? 600 : 20, 40 + 110 * i, 360, i == 2 ? 80 : 50);
        const int region = l.region(bubble);
        l.line(QStringLiteral("message %1").arg(i), bubble.left() + 12, bubble.top() + 30, 300, region);
        expected << QStringLiteral("message %1").arg(i);
        if (i == 2) {
            l.line(QStringLiteral("message %1 continued").arg(i), bubble.left() + 12, bubble.top() + 60, 200, region);
            expected << QStringLiteral("message %1 continued").arg(i);
        }
    }
    (void)pane;
    EXPECT_EQ(l.order(), expected);
}

TEST(ReadingOrder, LineNumbersStayWithTheirCodeAndNamesWithTheirTimes)
{
    Layout l;
    const int editor = l.region({0, 0, 800, 400});
    const int list = l.region({820, 0, 300, 400});
    QStringList expected;
    for (int i = 1; i <= 6; ++i) {
        l.line(QString::number(i), 20, 20 + 24 * i, 9, editor, 13);
        if (i != 3) {
            // Braces hang below the baseline: the line's baseline reads lower.
            l.line(i == 4 ? QStringLiteral("{") : QStringLiteral("code(%1);").arg(i), 50 + 30 * (i % 2), 20 + 24 * i + (i == 4 ? 3 : 0),
                   i == 4 ? 8 : 200, editor, 18);
            expected << (i == 4 ? QStringLiteral("4 {") : QStringLiteral("%1 code(%1);").arg(i));
        } else {
            expected << QStringLiteral("3");
        }
    }
    for (int i = 0; i < 3; ++i) {
        l.line(QStringLiteral("名字%1").arg(i), 840, 40 + 70 * i, 60, list);
        l.line(QStringLiteral("1%1:00").arg(i), 1060, 40 + 70 * i, 44, list, 12);
        l.line(QStringLiteral("预览%1").arg(i), 840, 62 + 70 * i, 120, list);
    }
    for (int i = 0; i < 3; ++i)
        expected << QStringLiteral("名字%1 1%1:00").arg(i) << QStringLiteral("预览%1").arg(i);
    EXPECT_EQ(l.order(), expected);
}

// A line on a background of its own (the active tab, a selected row, a highlighted line of code)
// keeps its place in the rows and columns of its neighbours.
TEST(ReadingOrder, AnActiveTabASelectedRowAndAHighlightedLineStayInTheirRowsAndColumns)
{
    {
        Layout l;
        const int window = l.region({0, 0, 900, 500});
        const int strip = l.region({0, 0, 900, 36});
        // The active tab has the pane's colour and joins its background.
        l.line(QStringLiteral("概览"), 20, 26, 40, strip);
        l.line(QStringLiteral("详情"), 220, 26, 40, window);
        l.line(QStringLiteral("设置"), 420, 26, 40, strip);
        l.line(QStringLiteral("帮助"), 620, 26, 40, strip);
        l.line(QStringLiteral("页面内容"), 20, 90, 300, window);
        EXPECT_EQ(l.order(), (QStringList{QStringLiteral("概览 详情 设置 帮助"), QStringLiteral("页面内容")}));
    }
    {
        Layout l;
        const int list = l.region({0, 0, 600, 400});
        QStringList expected;
        for (int row = 0; row < 6; ++row) {
            // Rows 1 and 4 selected: their name and date sit on the accent colour.
            const bool selected = row == 1 || row == 4;
            const int region = selected ? l.region({0, 10 + 40 * row, 600, 36}) : list;
            l.line(QStringLiteral("邮件主题%1").arg(row), 20, 34 + 40 * row, 200 - 30 * (row % 3), region);
            l.line(QStringLiteral("3月%1日").arg(row + 1), 520, 34 + 40 * row, 60, region, 14);
            expected << QStringLiteral("邮件主题%1 3月%2日").arg(row).arg(row + 1);
        }
        EXPECT_EQ(l.order(), expected);
    }
    {
        Layout l;
        const int editor = l.region({0, 0, 800, 300});
        QStringList expected;
        for (int i = 1; i <= 7; ++i) {
            const int region = i == 3 ? l.region({0, 4 + 24 * i, 800, 24}) : editor; // the current line
            l.line(QString::number(i), 20, 20 + 24 * i, 9, region, 13);
            l.line(QStringLiteral("call(%1);").arg(i), 60, 20 + 24 * i, 200, region, 18);
            expected << QStringLiteral("%1 call(%1);").arg(i);
        }
        EXPECT_EQ(l.order(), expected);
    }
}

// A window's title on a title bar that the frame's colour runs around: the title's background is
// the desktop's, whose bounds hold the window's pane, and the pane's bounds reach over the title.
TEST(ReadingOrder, AWindowTitleInsideItsPanesBoundsIsReadFirst)
{
    Layout l;
    const int desktop = l.region({0, 0, 1000, 700});
    const int pane = l.region({50, 40, 900, 620});
    const int strip = l.region({50, 70, 900, 40});
    l.line(QStringLiteral("发布说明 — 浏览器"), 420, 62, 200, desktop, 20);
    l.line(QStringLiteral("发布说明"), 70, 100, 120, strip);
    l.line(QStringLiteral("设置"), 300, 100, 40, strip);
    l.line(QStringLiteral("https://example.org/"), 120, 150, 300, pane);
    l.line(QStringLiteral("正文第一行"), 120, 200, 300, pane);
    EXPECT_EQ(l.order(), (QStringList{QStringLiteral("发布说明 — 浏览器"), QStringLiteral("发布说明 设置"), QStringLiteral("https://example.org/"),
                                      QStringLiteral("正文第一行")}));
}

// Line numbers beside code whose empty line leaves a number alone and whose line is read in
// pieces of different heights (a coloured string), as an editor of 22 px text draws them: a few
// rows cut out of the table keep their rows too.
TEST(ReadingOrder, LineNumbersStayWithTheirCodeAcrossAnEmptyLineAndASplitLine)
{
    Layout l;
    const int editor = l.region({64, 97, 1808, 920});
    const struct {
        QRect box;
        const char *text;
        int baseline;
    } pieces[] = {
        {{115, 166, 10, 16}, "1", 181},  {{148, 166, 237, 16}, "#include <stdio.h>", 181},
        {{114, 199, 11, 16}, "2", 214},  {{148, 199, 105, 16}, "#include", 214},
        {{282, 199, 114, 20}, "\"config.h\"", 214},
        {{114, 232, 11, 16}, "3", 247},
        {{149, 263, 434, 22}, "// 读取 config 文件", 282}, {{114, 265, 12, 16}, "4", 280},
        {{114, 298, 11, 16}, "5", 313}, {{149, 298, 800, 20}, "int load_config(const char *path)", 313},
        {{114, 331, 11, 16}, "6", 346}, {{150, 331, 9, 20}, "{", 350},
        {{114, 364, 11, 16}, "7", 379}, {{203, 364, 311, 20}, "FILE *file = fopen(path,", 379},
        {{548, 364, 45, 19}, "\"r\");", 379},
        {{114, 397, 11, 16}, "8", 412}, {{150, 397, 9, 20}, "}", 416},
    };
    for (const auto &piece : pieces)
        l.texts.push_back({piece.box, QString::fromUtf8(piece.text), editor, piece.baseline});
    EXPECT_EQ(l.order(), (QStringList{QStringLiteral("1 #include <stdio.h>"), QStringLiteral("2 #include \"config.h\""), QStringLiteral("3"),
                                      QStringLiteral("4 // 读取 config 文件"), QStringLiteral("5 int load_config(const char *path)"),
                                      QStringLiteral("6 {"), QStringLiteral("7 FILE *file = fopen(path, \"r\");"), QStringLiteral("8 }")}));
}

// Three rows of line numbers and code, the last line of code empty and another read in two
// pieces: a table however few its rows, read row by row.
TEST(ReadingOrder, AFewRowsOfATableWithAnEmptyCellAreReadRowByRow)
{
    Layout l;
    const int editor = l.region({40, 20, 900, 120});
    l.line(QStringLiteral("1"), 54, 38, 7, editor, 12);
    l.line(QStringLiteral("#include <stdio.h>"), 77, 38, 162, editor, 12);
    l.line(QStringLiteral("2"), 54, 60, 7, editor, 12);
    l.line(QStringLiteral("#include"), 77, 60, 72, editor, 12);
    l.line(QStringLiteral("\"config.h\""), 160, 60, 86, editor, 15);
    l.line(QStringLiteral("3"), 54, 82, 7, editor, 12);
    EXPECT_EQ(l.order(), (QStringList{QStringLiteral("1 #include <stdio.h>"), QStringLiteral("2 #include \"config.h\""), QStringLiteral("3")}));
}
