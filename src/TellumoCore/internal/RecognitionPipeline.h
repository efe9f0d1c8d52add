#pragma once
// From a screenshot to its text, on the calling (worker) thread.
//
// The steps, each of which can be left out to measure what it brings (the benchmark does):
//   normalizePolarity  every glyph drawn dark on white against its own background;
//   upscaleSmallText   lines shorter than the reading height scaled up;
//   segmentBlocks      the screen cut into text lines, each read as one line, instead of the
//                      engine's own page layout;
//   chooseScript       each background's lines read with the Simplified, Traditional or English
//                      model that fits them, instead of the engine's combined model;
//   orderByLayout      lines put in reading order by the layout, instead of top to bottom.
// All off is the engine used plainly: the combined model on the whole picture.

#include <QImage>
#include <QString>

#include <atomic>
#include <optional>

namespace Tellumo::detail {

struct RecognitionOptions {
    bool normalizePolarity = true;
    bool upscaleSmallText = true;
    bool segmentBlocks = true;
    bool chooseScript = true;
    bool orderByLayout = true;

    static RecognitionOptions plain() { return {false, false, false, false, false}; }
};

// Thrown by recognizeImage when `*cancel` became true.
struct RecognitionCancelled {};

// The picture's text: one line per text line, joined by line feeds, trimmed; empty when there
// is none. `image` may be of any format (what is transparent reads as if on white); the
// recogniser's own copy of it is the one it frames for the ink analysis. Throws TellumoError when
// no engine can start, RecognitionCancelled when cancelled.
QString recognizeImage(const QImage &image, const RecognitionOptions &options = {}, const std::atomic<bool> *cancel = nullptr);

// Removes the spaces the engine puts between Chinese characters.
QString tidyChineseSpacing(const QString &line);

// A Chinese model reads symbols it lacks as the characters they resemble: 十 for +, 一 for -.
// Between two Latin characters such a character is the symbol (Ctrl十C is Ctrl+C).
QString replaceStrayLookalikes(const QString &line);

// Before the spaces between Chinese characters go: a lone mark between words with a Latin word
// beside it is a dash or a middle dot the Chinese model read as 一 or 。 ("report.txt — 编辑器",
// "刘洋 · 2024").
QString spacedMarks(const QString &line);

// `text` as a number when it is one, or would be with the letters the English model reads for
// digits (i, l, I or | for 1, o or O for 0) taken as those digits.
std::optional<QString> asNumber(const QString &text);

// The digits of an issue number ("#1234"): a letter the engine reads for a digit inside a number
// sign's digits (i, l, I or | for 1, o or O for 0) is that digit, where two digits or more show
// that the word is a number.
QString issueNumbers(const QString &line);

// Keyboard shortcuts as a menu's shortcut column shows them ("Ctrl+S", "Shift+Ctrl+Z", "Alt+F4"):
// a word of modifier names and a key joined by plus signs. The engine misreads the modifiers of
// small text ("Ctri", "CtrI", "Ctril", "AIt"); in a word that is a shortcut by its shape, a
// modifier name within a letter or two of a known one is that one.
QString keyChords(const QString &line);
// Every word of the line is a shortcut (after the mends of keyChords).
bool isKeyChordLine(const QString &line);

// Punctuation follows the script of its neighbours: full-width after a Chinese character, ASCII
// between Latin words and numbers; a vertical bar against a letter is the capital I; marks the
// engine reads for icons and close crosses (a lone ®, © without a year, x not between numbers)
// go; dots after a Chinese character (the engine reads the ellipsis … as "...") are the ellipsis.
QString punctuationOfItsNeighbours(const QString &line);

} // namespace Tellumo::detail
