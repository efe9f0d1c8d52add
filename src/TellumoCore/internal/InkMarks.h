#pragma once
// Marks and spaces of a read line that its own ink tells better than the engine read them.
//
// - A list's bullet: a solid round dot at the start of the line, about the height of a small
//   letter's middle, set apart from the text. The engines read it as 。, ·, *, ¢, e or not at all.
// - The letter of a version number ("v2.3.1"): the engines read a lower-case v before digits as
//   V, or as two or three letters ("VvV"). Its case is the height of its ink against the digits'
//   after it: a lower-case letter stands a quarter lower.
// - The number sign of an issue number ("#1234"): the Chinese models read it, or it and the
//   digit after it, as a Chinese character (料, 所, 六), or lose the digit after it. Such a
//   number (a number sign, or a Chinese character that starts a word, before digits) is read
//   again with the English model (ScriptChoice), whose reading it takes when that is a number
//   sign with digits and the character's ink stands no taller than the digits (a Chinese
//   character stands taller than digits and reaches below them: 第 in "第 5 欄" stays).
//   Failing that, a Chinese character whose ink has the digits' top and bottom becomes the sign.
// - The spaces between words: the Chinese models drop the space between a Chinese word and a
//   Latin one or a number ("下载大小36.4MB"), and between Latin words. Where the ink between
//   two characters read without a space holds a blank as wide as a space (InkColumns), the space
//   goes back. Between two Chinese characters (other than 一, which may be a dash) the engines
//   put spaces that are not there and drop ones that are: where the ink holds the wide blank of
//   two words set apart (the items of a menu bar) the space is kInkWordSpace, which the text's
//   tidying keeps; elsewhere the engine's spaces are left to the tidying, which drops them.
//
// `picture` is the Format_Grayscale8 line picture the reading came from (dark ink on white), and
// `symbols` the characters the engine read with their boxes, in the order of the text's
// characters other than spaces; a reading whose symbols do not match its text is left as it is.

#include "TellumoCore/internal/OcrEngines.h"

#include <QImage>
#include <QString>

#include <vector>

namespace Tellumo::detail {

// A space between two Chinese words that the ink shows: the tidying of the text that drops the
// engines' spaces between Chinese characters keeps it, and it ends as a plain space.
constexpr char16_t kInkWordSpace = 0xE000;

QString bulletOfTheInk(const QString &text, const QImage &picture);
QString versionLettersOfTheInk(const QString &text, const std::vector<OcrSymbol> &symbols, const QImage &picture);
struct NumberSign {
    qsizetype from = 0, to = 0; // the code points of the text from the character to the number's end
    QRect box;                  // their ink, in the picture
    bool digitHigh = false;     // the first character is a Chinese one with the digits' height
    bool withinDigits = false;  // or at least one that stands no taller than them, give or take a fifth
};
std::vector<NumberSign> numberSignsInTheInk(const QString &text, const std::vector<OcrSymbol> &symbols, const QImage &picture);
// The text with each number of `signs` as `readings` (its English reading) gives it, when that is
// a number sign and digits, else with its first character made the sign; `symbols` are kept in
// step (a number's symbols share its box).
QString withNumberSigns(const QString &text, const std::vector<NumberSign> &signs, const QStringList &readings, std::vector<OcrSymbol> &symbols);
QString spacesOfTheInk(const QString &text, const std::vector<OcrSymbol> &symbols, const QImage &picture);

} // namespace Tellumo::detail
