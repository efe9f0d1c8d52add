// The kinds of misreading a browser's screens showed, each on screens of its own (the browser
// scene of TextScreens, in several faces, themes and sizes): list bullets, issue numbers, the
// lower-case v of version numbers, a tab's script among tabs of the other script, the tabs'
// order with the active one among them, and the spaces between Chinese and Latin words.

#include "ScreenReading.h"

#include "TextScreens/CharacterErrors.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace ScreenReading;
using namespace Tellumo;
using namespace TextScreens;

namespace {

// The recognised line nearest to `expected`.
QString nearest(const QStringList &lines, const QString &expected)
{
    QString best;
    double rate = 2;
    for (const QString &line : lines) {
        if (const double r = characterErrors(expected, line).rate(); r < rate) {
            rate = r;
            best = line;
        }
    }
    return best;
}

// Release notes as a region capture, in every language and in faces, themes and sizes the
// corpus and the other tests leave out.
const Spec kNotes[] = {
    {Scene::browser, Language::simplified, Theme::dark, 15, Framing::region, 0, Face::notoSansSC},
    {Scene::browser, Language::traditional, Theme::sepia, 17, Framing::region, 0, Face::notoSerifTC},
    {Scene::browser, Language::english, Theme::dim, 13, Framing::region, 0, Face::wenQuanYi},
    {Scene::browser, Language::mixed, Theme::light, 19, Framing::region, 0, Face::notoSerifSC},
    {Scene::browser, Language::simplified, Theme::dim, 21, Framing::region, 0, Face::wenQuanYi},
};

// Whole browser windows, for the tab strip and the title bar.
const Spec kWindows[] = {
    {Scene::browser, Language::simplified, Theme::dark, 14, Framing::fullScreen, 0, Face::notoSansSC},
    {Scene::browser, Language::simplified, Theme::light, 18, Framing::fullScreen, 0, Face::wenQuanYi},
    {Scene::browser, Language::traditional, Theme::dim, 16, Framing::fullScreen, 0, Face::notoSansTC},
    {Scene::browser, Language::mixed, Theme::sepia, 15, Framing::fullScreen, 0, Face::notoSerifSC},
    {Scene::browser, Language::english, Theme::dark, 17, Framing::fullScreen, 0, Face::notoSansTC},
};

} // namespace

// A list's bullet is a solid dot before the item: read as "•", never as 。, ·, *, or dropped.
TEST(BrowserReading, ListBulletsAreReadAsBullets)
{
    for (const Spec &spec : kNotes) {
        const Read notes = read(spec);
        int bullets = 0;
        for (const Line &line : notes.screen.lines) {
            if (!line.text.startsWith(QChar(0x2022)))
                continue;
            ++bullets;
            EXPECT_TRUE(nearest(notes.lines, line.text).startsWith(QStringLiteral("• "))) << line.text.toStdString() << '\n' << described(notes);
        }
        EXPECT_EQ(bullets, 5) << notes.screen.name().toStdString();
        int bulleted = 0;
        for (const QString &line : notes.lines)
            bulleted += line.startsWith(QChar(0x2022));
        EXPECT_EQ(bulleted, bullets) << described(notes);
    }
}

// "#" before an issue's number stays the number sign, in Chinese lines too (where the Chinese
// models read it as 料 or 所).
TEST(BrowserReading, AnIssueNumberKeepsItsNumberSign)
{
    for (const Spec &spec : kNotes) {
        const Read notes = read(spec);
        const QString all = notes.lines.join(QLatin1Char('\n'));
        for (const QString &issue : {QStringLiteral("#1234"), QStringLiteral("#1187"), QStringLiteral("#1301")})
            EXPECT_TRUE(all.contains(issue)) << issue.toStdString() << '\n' << described(notes);
    }
}

// The lower-case v of a version number stays lower-case and one letter, alone on a line of a
// side list or inside a sentence.
TEST(BrowserReading, AVersionNumberKeepsItsLowerCaseV)
{
    static const QRegularExpression version(QStringLiteral("[Vv]+\\d+(\\.\\d+)+"));
    for (const Spec &spec : kWindows) {
        const Read window = read(spec);
        QStringList expected, found;
        for (const Line &line : window.screen.lines)
            for (auto match = version.globalMatch(line.text); match.hasNext();)
                expected << match.next().captured();
        for (const QString &line : window.lines)
            for (auto match = version.globalMatch(line); match.hasNext();)
                found << match.next().captured();
        ASSERT_GE(expected.size(), 6) << window.screen.name().toStdString();
        expected.sort();
        found.sort();
        EXPECT_EQ(found, expected) << described(window);
    }
}

// The tab strip holds a page of the other Chinese script: each tab keeps its own script.
TEST(BrowserReading, EachTabKeepsItsOwnChineseScript)
{
    for (const Spec &spec : kWindows) {
        if (spec.language != Language::simplified && spec.language != Language::traditional && spec.language != Language::mixed)
            continue;
        const Read window = read(spec);
        const QString tabs = window.screen.lines[2].text;
        const QString tabsRead = nearest(window.lines, tabs);
        // Every Chinese character as drawn: a character of the other script counts as wrong.
        int chinese = 0, same = 0;
        for (QChar c : tabs) {
            if (isChineseCharacter(c.unicode())) {
                ++chinese;
                same += tabsRead.contains(c);
            }
        }
        EXPECT_GE(same, chinese - 1) << tabs.toStdString() << "\n read as " << tabsRead.toStdString() << '\n' << described(window);
    }
}

// The tabs read left to right in one line, the active one (which shares its background with the
// toolbar below it) in its place among them.
TEST(BrowserReading, TheTabsReadLeftToRightWithTheActiveOneInItsPlace)
{
    for (const Spec &spec : kWindows) {
        const Read window = read(spec);
        const QString tabs = window.screen.lines[2].text;
        const QString tabsRead = nearest(window.lines, tabs);
        EXPECT_LE(characterErrors(tabs, tabsRead).rate(), 0.15) << tabs.toStdString() << "\n read as " << tabsRead.toStdString() << '\n'
                                                                 << described(window);
        // The line after the tabs is the address.
        const qsizetype at = window.lines.indexOf(tabsRead);
        ASSERT_GE(at, 0);
        ASSERT_LT(at + 1, window.lines.size());
        EXPECT_TRUE(window.lines[at + 1].startsWith(QStringLiteral("https://"))) << described(window);
    }
}

// A space between a Chinese word and a Latin word or a number is read as a space: in the title
// bar ("下载 Kivaro v2.3.1 — 36.4 MB") and in the page ("下载大小 36.4 MB").
TEST(BrowserReading, SpacesBetweenChineseAndLatinWordsStay)
{
    for (const Spec &spec : kWindows) {
        if (spec.language != Language::simplified && spec.language != Language::traditional && spec.language != Language::mixed)
            continue;
        const Read window = read(spec);
        const QString all = window.lines.join(QLatin1Char('\n'));
        const QString size = spec.language == Language::traditional ? QStringLiteral("下載大小 36.4 MB") : QStringLiteral("下载大小 36.4 MB");
        EXPECT_TRUE(all.contains(size)) << size.toStdString() << '\n' << described(window);
        if (spec.language == Language::mixed) {
            EXPECT_TRUE(all.contains(QStringLiteral("下载 Kivaro v2.3.1"))) << described(window);
        } else if (spec.language == Language::simplified) {
            EXPECT_TRUE(all.contains(QStringLiteral("Kivaro v2.3.1 发布说明"))) << described(window);
        }
    }
}
