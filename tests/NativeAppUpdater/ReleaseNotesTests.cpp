// Release notes: Markdown to styled runs with the updater's rules, raw HTML and images kept
// inert, the 64 KiB cap, and the notes area of the default alert.

#include "NativeAppUpdater/NativeReleaseNotes.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QTextBrowser>
#include <QTextDocument>

#include <QDir>

#include <gtest/gtest.h>

using namespace NativeAppUpdater;
using Face = ReleaseNotesRun::Face;

namespace {

// The run that holds `text`, or a default run when none does.
ReleaseNotesRun runWith(const ReleaseNotesText &notes, const QString &text)
{
    for (const ReleaseNotesRun &run : notes.runs) {
        if (run.text.contains(text))
            return run;
    }
    ADD_FAILURE() << "no run holds " << text.toStdString();
    return {};
}

} // namespace

TEST(ReleaseNotes, HeaderThenParagraphOnOneLineBreak)
{
    const ReleaseNotesText notes = nativeReleaseNotes(QStringLiteral("# Kivaro 2.0\n\nFaster capture."));
    EXPECT_EQ(notes.plainText(), QStringLiteral("Kivaro 2.0\nFaster capture."));
    const ReleaseNotesRun header = runWith(notes, QStringLiteral("Kivaro 2.0"));
    EXPECT_TRUE(header.bold);
    EXPECT_EQ(header.pointSize, 21);
    const ReleaseNotesRun body = runWith(notes, QStringLiteral("Faster"));
    EXPECT_FALSE(body.bold);
    EXPECT_EQ(body.pointSize, 13);
    EXPECT_EQ(body.face, Face::system);
}

TEST(ReleaseNotes, HeaderSizesByLevel)
{
    const ReleaseNotesText notes = nativeReleaseNotes(QStringLiteral("## two\n### three\n###### six"));
    EXPECT_EQ(runWith(notes, QStringLiteral("two")).pointSize, 19);
    EXPECT_EQ(runWith(notes, QStringLiteral("three")).pointSize, 17);
    EXPECT_EQ(runWith(notes, QStringLiteral("six")).pointSize, 11);
}

TEST(ReleaseNotes, ListsAndQuotesGetTheirPrefixesOncePerBlock)
{
    EXPECT_EQ(nativeReleaseNotes(QStringLiteral("1. first\n2. second")).plainText(), QStringLiteral("1. first\n2. second"));
    EXPECT_EQ(nativeReleaseNotes(QStringLiteral("3. third\n4. fourth")).plainText(), QStringLiteral("3. third\n4. fourth"));
    EXPECT_EQ(nativeReleaseNotes(QStringLiteral("- one **bold** end\n- two")).plainText(), QStringLiteral("• one bold end\n• two"));
    EXPECT_EQ(nativeReleaseNotes(QStringLiteral("- loose\n\n- list")).plainText(), QStringLiteral("• loose\n• list"));
    EXPECT_EQ(nativeReleaseNotes(QStringLiteral("> quoted words")).plainText(), QStringLiteral("│ quoted words"));
    // Around nested lists the outermost item decides, ordered because a list around is ordered.
    EXPECT_EQ(nativeReleaseNotes(QStringLiteral("1. outer\n   - inner")).plainText(), QStringLiteral("1. outer\n1. inner"));
}

TEST(ReleaseNotes, InlineStyles)
{
    const ReleaseNotesText notes = nativeReleaseNotes(QStringLiteral("Use `kivaro --verify`, **bold**, *tilted* and ~~gone~~."));
    const ReleaseNotesRun code = runWith(notes, QStringLiteral("kivaro --verify"));
    EXPECT_EQ(code.face, Face::monospaced);
    EXPECT_EQ(code.pointSize, 12);
    EXPECT_TRUE(runWith(notes, QStringLiteral("bold")).bold);
    EXPECT_TRUE(runWith(notes, QStringLiteral("tilted")).italic);
    EXPECT_TRUE(runWith(notes, QStringLiteral("gone")).strikethrough);
    EXPECT_FALSE(runWith(notes, QStringLiteral("Use ")).strikethrough);

    const ReleaseNotesText block = nativeReleaseNotes(QStringLiteral("```\nline 1\nline 2\n```\nafter"));
    EXPECT_EQ(block.plainText(), QStringLiteral("line 1\nline 2\nafter"));
    EXPECT_EQ(runWith(block, QStringLiteral("line 1")).face, Face::monospaced);
}

TEST(ReleaseNotes, OnlyWebLinksAreLinks)
{
    const ReleaseNotesText notes = nativeReleaseNotes(QStringLiteral(
        "[site](https://kivaro.example/notes) [plain](http://kivaro.example/) [file](file:///etc/passwd) "
        "[script](javascript:alert(1)) [mail](mailto:a@b.c) [relative](../x)"));
    EXPECT_EQ(runWith(notes, QStringLiteral("site")).link, QUrl(QStringLiteral("https://kivaro.example/notes")));
    EXPECT_EQ(runWith(notes, QStringLiteral("plain")).link, QUrl(QStringLiteral("http://kivaro.example/")));
    for (const char *inert : {"file", "script", "mail", "relative"})
        EXPECT_TRUE(runWith(notes, QString::fromLatin1(inert)).link.isEmpty()) << inert;
}

TEST(ReleaseNotes, RawHtmlStaysTextAndImagesAreNeverLoaded)
{
    const QString markdown = QStringLiteral("<img src=\"file:///etc/hosts\"> <b>bold?</b>\n\n![a picture](file:///etc/hosts)");
    const ReleaseNotesText notes = nativeReleaseNotes(markdown);
    EXPECT_TRUE(notes.plainText().contains(QStringLiteral("<img src=\"file:///etc/hosts\">")));
    EXPECT_TRUE(notes.plainText().contains(QStringLiteral("<b>bold?</b>")));
    EXPECT_TRUE(notes.plainText().contains(QStringLiteral("a picture")));
    for (const ReleaseNotesRun &run : notes.runs)
        EXPECT_TRUE(run.link.isEmpty());

    // Filling a document asks it for no resource: nothing can be loaded.
    class WatchingDocument final : public QTextDocument {
    public:
        int loads = 0;

    protected:
        QVariant loadResource(int type, const QUrl &name) override
        {
            ++loads;
            return QTextDocument::loadResource(type, name);
        }
    } document;
    fillReleaseNotesDocument(document, notes, Qt::black, Qt::blue);
    document.documentLayout();
    (void)document.size();
    EXPECT_EQ(document.loads, 0);
    EXPECT_EQ(document.toPlainText(), notes.plainText());
}

TEST(ReleaseNotes, EntitiesAndLineBreaks)
{
    EXPECT_EQ(nativeReleaseNotes(QStringLiteral("a &amp; b &#x4E2D; &#0;")).plainText(), QStringLiteral("a & b 中 \uFFFD"));
    EXPECT_EQ(nativeReleaseNotes(QStringLiteral("soft\nbreak")).plainText(), QStringLiteral("soft break"));
    EXPECT_EQ(nativeReleaseNotes(QStringLiteral("hard  \nbreak")).plainText(), QStringLiteral("hard\nbreak"));
}

TEST(ReleaseNotes, CappedAt64KiBOnACharacterBoundary)
{
    // Three bytes per character: the cap falls inside one.
    const QString markdown = QString(30'000, QChar(0x4E2D));
    const QString shown = nativeReleaseNotes(markdown).plainText();
    EXPECT_LE(shown.toUtf8().size(), maxReleaseNotesBytes);
    EXPECT_EQ(shown.size(), maxReleaseNotesBytes / 3);
    EXPECT_FALSE(shown.contains(QChar(0xFFFD)));
}

TEST(ReleaseNotes, DefaultAlertGetsANotesAreaOnlyForRealNotes)
{
    for (const std::optional<QString> &notes : {std::optional<QString>(), std::optional(QString()), std::optional(QStringLiteral(" \n\t"))}) {
        QMessageBox box;
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        addNativeReleaseNotes(&box, notes);
        EXPECT_EQ(box.findChild<QTextBrowser *>(QStringLiteral("releaseNotes")), nullptr);
    }
    QMessageBox box;
    box.setText(QStringLiteral("Kivaro 2.0 is available"));
    box.addButton(QStringLiteral("Download Update"), QMessageBox::AcceptRole);
    addNativeReleaseNotes(&box, QStringLiteral("## What's new\n- Faster"));
    auto *view = box.findChild<QTextBrowser *>(QStringLiteral("releaseNotes"));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->size(), QSize(420, 220));
    EXPECT_TRUE(view->isReadOnly());
    EXPECT_EQ(view->toPlainText(), QStringLiteral("What's new\n• Faster"));
    box.show();
    // The notes sit above the buttons.
    EXPECT_LT(view->geometry().bottom(), box.findChild<QDialogButtonBox *>()->geometry().top());
    // With no background of their own: an empty corner of the notes shows the alert's.
    QPalette distinct = box.palette();
    distinct.setColor(QPalette::Window, QColor(200, 30, 120));
    box.setPalette(distinct);
    const QImage picture = box.grab().toImage();
    // For a look: $KIVARO_UPDATE_SNAPSHOTS names a folder.
    if (const QString folder = qEnvironmentVariable("KIVARO_UPDATE_SNAPSHOTS"); !folder.isEmpty() && QDir().mkpath(folder))
        picture.save(folder + QStringLiteral("/fallback-alert.png"));
    const QPoint corner = view->mapTo(&box, QPoint(view->width() - 12, view->height() - 12));
    EXPECT_EQ(picture.pixelColor(corner * picture.devicePixelRatio()).rgb(), QColor(200, 30, 120).rgb());
}

// Deep nesting and many lazy lines convert as shallow notes do: the outermost item gives the
// prefix, every line is there, and the same notes come back the same when converted again.
TEST(ReleaseNotes, DeeplyNestedListsAndLazyLinesKeepTheirRules)
{
    for (const int depth : {1, 2, 300, 3000}) {
        const QString notes = QStringLiteral("- ").repeated(depth) + QStringLiteral("x\n") + QStringLiteral("y\n").repeated(500);
        const ReleaseNotesText converted = nativeReleaseNotes(notes);
        EXPECT_EQ(converted.plainText(), QStringLiteral("• x") + QStringLiteral(" y").repeated(500)) << depth;
        EXPECT_EQ(nativeReleaseNotes(notes).plainText(), converted.plainText());
    }
    const QString ordered = QStringLiteral("1. ") + QStringLiteral("- ").repeated(200) + QStringLiteral("**x**\n> quoted");
    EXPECT_EQ(nativeReleaseNotes(ordered).plainText(), QStringLiteral("1. x\n│ quoted"));
    const ReleaseNotesText styled = nativeReleaseNotes(QStringLiteral("- ").repeated(100) + QStringLiteral("*a `b` [c](https://x.example/)*"));
    ASSERT_GE(styled.runs.size(), 3);
    EXPECT_TRUE(styled.runs[0].italic);
    EXPECT_EQ(styled.runs[1].face, ReleaseNotesRun::Face::monospaced);
    EXPECT_EQ(styled.runs.last().link, QUrl(QStringLiteral("https://x.example/")));
}
