#pragma once
// Release notes: the Markdown of a manifest turned into styled runs of text, with the updater's
// own small set of rules, and shown read-only.
//
// md4c parses the notes with raw HTML off (tags stay visible as text, nothing is interpreted),
// strikethrough and tables on. Blocks are separated by exactly one line break (never a blank
// line). Body text is the 13-point system font; headers are bold at 21, 19, 17, 15, 13 and 11
// points for levels 1 to 6; code blocks and inline code are the 12-point monospaced font;
// strong text is bold and emphasis italic; struck-through text keeps its strike. A list item
// begins with "• " or, when any list around it is ordered, its ordinal and ". "; a quote begins
// with "│ "; around nested lists and quotes the outermost item or quote decides the prefix.
// Only http and https links become links; every other address stays plain text, and an image is
// never loaded (its description is shown as text). Notes are cut at 64 KiB of UTF-8 before
// parsing, at a character boundary.

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QMessageBox;
class QTextDocument;

namespace NativeAppUpdater {

struct ReleaseNotesRun {
    enum class Face { system, monospaced };
    QString text;
    Face face = Face::system;
    qreal pointSize = 13;
    bool bold = false;
    bool italic = false;
    bool strikethrough = false;
    QUrl link; // empty, or an http or https address

    bool sameStyle(const ReleaseNotesRun &other) const
    {
        return face == other.face && pointSize == other.pointSize && bold == other.bold && italic == other.italic
            && strikethrough == other.strikethrough && link == other.link;
    }
};

struct ReleaseNotesText {
    QList<ReleaseNotesRun> runs;
    QString plainText() const;
};

constexpr qsizetype maxReleaseNotesBytes = 64 * 1024;

ReleaseNotesText nativeReleaseNotes(const QString &markdown);

// Replaces the document's contents with the runs, in `labelColor` (links in `linkColor`,
// underlined). `fontFor` gives each run's font; without it the application font's family is
// used at the run's size.
void fillReleaseNotesDocument(QTextDocument &document, const ReleaseNotesText &notes, const QColor &labelColor,
                              const QColor &linkColor, const std::function<QFont(const ReleaseNotesRun &)> &fontFor = {});

// Puts the notes, read-only and scrollable (420 × 220), into an alert; nothing for absent notes
// or notes of white space only.
void addNativeReleaseNotes(QMessageBox *alert, const std::optional<QString> &markdown);

} // namespace NativeAppUpdater
