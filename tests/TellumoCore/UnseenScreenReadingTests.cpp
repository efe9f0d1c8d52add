// Screens in faces, themes and sizes the corpus leaves out, each showing one kind of misreading
// that screens of this sort used to get: the marks, quoted strings, line numbers and comments of
// code, the stubs of tab separators, the items of side bars, menu bars and title bars in the
// screen's script, and the character before a column number.

#include "ScreenReading.h"

#include <QRegularExpression>

#include <algorithm>

#include <gtest/gtest.h>

using namespace ScreenReading;
using namespace TextScreens;

namespace {

// Every drawn line that contains `part` is read as drawn.
void expectReadWhole(const Read &read, const QString &part)
{
    int found = 0;
    for (const Line &line : read.screen.lines) {
        if (!line.text.contains(part))
            continue;
        ++found;
        EXPECT_TRUE(read.lines.contains(line.text)) << line.text.toStdString() << '\n' << described(read);
    }
    EXPECT_GT(found, 0) << part.toStdString();
}

} // namespace

// Python on a dark editor, the strings in orange: the equals sign and the comma between words of
// a monospaced face, too far from them to join as letters do, stay in the line, and a quoted
// word the engine finds no words in as one line is still read.
TEST(UnseenScreenReading, TheMarksAndQuotedStringsOfColouredCodeAreRead)
{
    const Read code = read({Scene::code, Language::traditional, Theme::dark, 17, Framing::region, 0, Face::notoSerifSC});
    expectReadWhole(code, QStringLiteral("title = record.get(\"title\", \"untitled\")"));
    expectReadWhole(code, QStringLiteral("result = []"));
}

// C in a dim editor at 12 px: the comment's Chinese is read in Chinese, not as the English
// model's guess at it, on a screen whose script is Traditional.
TEST(UnseenScreenReading, AChineseCommentInSmallCodeIsReadInChinese)
{
    const Read code = read({Scene::code, Language::traditional, Theme::dim, 12, Framing::fullScreen, 0, Face::notoSerifSC});
    expectReadWhole(code, QStringLiteral("// 讀取設定檔並傳回項目數"));
}

// A Traditional settings window on sepia: the items of its side bar are short, so the widest
// of them alone does not tell their script; all are read in Traditional.
TEST(UnseenScreenReading, ASideBarOfShortItemsKeepsTheScreensScript)
{
    const Read settings = read({Scene::settings, Language::traditional, Theme::sepia, 22, Framing::fullScreen, 0, Face::wenQuanYi});
    for (const QString &item : {QStringLiteral("外觀"), QStringLiteral("網路"), QStringLiteral("隱私權與安全性"), QStringLiteral("顯示器"),
                                QStringLiteral("聲音"), QStringLiteral("關於本機")})
        EXPECT_TRUE(settings.lines.contains(item)) << item.toStdString() << '\n' << described(settings);
}

// C in a light editor at 23 px, a serif face: a quote mark, an asterisk or a semicolon's tail
// that the ink analysis leaves a line of its own stays with the word beside it.
TEST(UnseenScreenReading, QuoteMarksAsterisksAndSemicolonsStayWithTheirWords)
{
    const Read code = read({Scene::code, Language::english, Theme::light, 23, Framing::region, 0, Face::notoSerifTC});
    expectReadWhole(code, QStringLiteral("int load_config(const char *path, struct entry *out, int max)"));
    expectReadWhole(code, QStringLiteral("return -1; // the file does not exist"));
    expectReadWhole(code, QStringLiteral("continue; // skip comment lines"));
}

// C on a dark screen: the grey line numbers beside the code are read as digits, not as the
// Chinese characters the Chinese models take them for (7 as 了, 17 as 工7).
TEST(UnseenScreenReading, LineNumbersBesideCodeAreReadAsDigits)
{
    const Read code = read({Scene::code, Language::mixed, Theme::dark, 14, Framing::fullScreen, 0, Face::wenQuanYi});
    for (const QString &line : {QStringLiteral("1 #include <stdio.h>"), QStringLiteral("6 {"), QStringLiteral("7 FILE *file = fopen(path, \"r\");"),
                                QStringLiteral("11 int count = 0;"), QStringLiteral("17 }")})
        EXPECT_TRUE(code.lines.contains(line)) << line.toStdString() << '\n' << described(code);
}

// A "7" or a "1" alone is a Chinese character to the Chinese models, and "11" is "ll" to the
// English one; in a column of line numbers it is a number. Traditional code in serif faces.
TEST(UnseenScreenReading, EveryNumberOfAColumnOfLineNumbersIsANumber)
{
    const Read dim = read({Scene::code, Language::traditional, Theme::dim, 12, Framing::fullScreen, 0, Face::notoSerifSC});
    EXPECT_TRUE(dim.lines.contains(QStringLiteral("7 FILE *file = fopen(path, \"r\");"))) << described(dim);
    const Read sepia = read({Scene::code, Language::traditional, Theme::sepia, 21, Framing::fullScreen, 0, Face::notoSerifSC});
    EXPECT_TRUE(std::any_of(sepia.lines.begin(), sepia.lines.end(), [](const QString &line) { return line.startsWith(QStringLiteral("7 title ")); }))
        << described(sepia);
}

// A serif address at 15 px: letters that touch, flat at their tops and bottoms, are text, not
// the outline of a field.
TEST(UnseenScreenReading, SmallSerifLettersThatTouchAreNoFrame)
{
    const Read browser = read({Scene::browser, Language::mixed, Theme::sepia, 15, Framing::fullScreen, 0, Face::notoSerifSC});
    expectReadWhole(browser, QStringLiteral("https://example.org/kivaro/releases/v2.3.1"));
}

// A Traditional menu bar at 14 px whose items stand close enough to make one line: the items
// keep the spaces between them and their script, though one model reads the line surer.
TEST(UnseenScreenReading, TheItemsOfAMenuBarKeepTheirSpacesAndScript)
{
    const Read menu = read({Scene::menu, Language::traditional, Theme::light, 14, Framing::fullScreen, 0, Face::notoSansTC});
    ASSERT_EQ(menu.screen.lines[2].text, QStringLiteral("檔案 編輯 檢視 插入 格式 工具 視窗 說明"));
    // The Traditional model makes up a bracket before the last item; the ink leaves it be.
    const QString bar = menu.lines.value(2);
    EXPECT_TRUE(bar.startsWith(QStringLiteral("檔案 編輯 檢視 插入 格式 工具 視窗")) && bar.endsWith(QStringLiteral("說明"))) << described(menu);
}

// A Simplified editor on sepia whose title bar holds one character that tells the scripts
// apart: the title takes the script of the screen, though the Traditional model reads it a
// little surer.
TEST(UnseenScreenReading, ATitleBarTakesTheScriptOfItsScreen)
{
    const Read menu = read({Scene::menu, Language::mixed, Theme::sepia, 13, Framing::fullScreen, 0, Face::notoSerifTC});
    EXPECT_TRUE(menu.lines.value(1).endsWith(QStringLiteral("— 文本编辑器"))) << described(menu);
}

// A region cut out of an editor just below its tab strip: the stubs of the tabs' separators are
// no text.
TEST(UnseenScreenReading, ARegionOfAnEditorDropsTheStubsOfTabSeparators)
{
    const Read code = read({Scene::code, Language::mixed, Theme::sepia, 15, Framing::region, 0, Face::wenQuanYi});
    expectReadWhole(code, QStringLiteral("#include <stdio.h>"));
    for (const QString &line : code.lines)
        EXPECT_FALSE(line.contains(QRegularExpression(QStringLiteral("^[Il|1 ]+$")))) << line.toStdString() << '\n' << described(code);
}

// The status bar's "第 5 欄" (column 5): 第 before a digit, taller than the digit, is no number
// sign, whatever the English model makes of it; at 18 px it stands only a pixel taller.
TEST(UnseenScreenReading, TheCharacterBeforeAColumnNumberStays)
{
    const struct {
        Spec spec;
        QString column;
    } screens[] = {
        {{Scene::code, Language::traditional, Theme::dark, 19, Framing::fullScreen, 0, Face::notoSerifSC}, QStringLiteral("欄")},
        {{Scene::code, Language::traditional, Theme::dark, 18, Framing::fullScreen, 0, Face::notoSansSC}, QStringLiteral("欄")},
        {{Scene::code, Language::mixed, Theme::dim, 18, Framing::fullScreen, 0, Face::wenQuanYi}, QStringLiteral("列")},
    };
    for (const auto &screen : screens) {
        const Read code = read(screen.spec);
        const QString status = code.lines.value(code.lines.size() - 1);
        EXPECT_TRUE(status.contains(QStringLiteral("第5") + screen.column) || status.contains(QStringLiteral("第 5 ") + screen.column)) << described(code);
        EXPECT_FALSE(status.contains(QLatin1Char('#'))) << described(code);
    }
}

// The top bar's date, "3月14日": its month and day are no strays the Chinese models made of
// Latin letters, however sure the English model is of "3A14H".
TEST(UnseenScreenReading, ADateKeepsItsChineseUnits)
{
    for (const Spec &spec : {Spec{Scene::browser, Language::simplified, Theme::dim, 15, Framing::fullScreen, 0, Face::wenQuanYi},
                             Spec{Scene::code, Language::mixed, Theme::dim, 18, Framing::fullScreen, 0, Face::wenQuanYi},
                             Spec{Scene::article, Language::mixed, Theme::dark, 14, Framing::fullScreen, 0, Face::notoSerifTC}}) {
        const Read screen = read(spec);
        EXPECT_EQ(screen.lines.value(0), QStringLiteral("活动 3月14日 14:32 100%")) << described(screen);
    }
}
